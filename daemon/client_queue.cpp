#include "client_queue.hpp"

#include <poll.h>

#include <cerrno>

#include "qor_shared/deadline.hpp"

namespace qor::daemon {

ReplyQueue::ReplyQueue(WhenFull whenFull) : whenFull_(whenFull) {}

ReplyQueue::~ReplyQueue() { close(); }

bool ReplyQueue::adopt(mqd_t descriptor) {
  mq_attr attributes{};
  if (mq_getattr(descriptor, &attributes) != 0 || attributes.mq_msgsize <= 0) {
    mq_close(descriptor);
    return false;
  }
  std::lock_guard lock(mutex_);
  if (descriptor_ != -1) mq_close(descriptor_);
  descriptor_ = descriptor;
  messageSize_ = static_cast<size_t>(attributes.mq_msgsize);
  congested_ = false;
  return true;
}

void ReplyQueue::close() {
  std::lock_guard lock(mutex_);
  if (descriptor_ != -1) mq_close(descriptor_);
  descriptor_ = -1;
  heldBack_.clear();
  heldBackBytes_ = 0;
  spare_.clear();
  spareBytes_ = 0;
}

bool ReplyQueue::isOpen() const {
  std::lock_guard lock(mutex_);
  return descriptor_ != -1;
}

size_t ReplyQueue::messageSize() const {
  std::lock_guard lock(mutex_);
  return messageSize_;
}

int ReplyQueue::number() const {
  std::lock_guard lock(mutex_);
  return descriptor_;
}

ReplyQueue::Sent ReplyQueue::send(Bytes message, std::chrono::milliseconds timeout) {
  std::lock_guard lock(mutex_);
  if (descriptor_ == -1) {
    errno = EBADF;
    return Sent::Failed;
  }
  if (message.size() > messageSize_) return Sent::TooLarge;
  if (whenFull_ == WhenFull::Wait) {
    const timespec deadline = realtimeDeadline(congested_ ? 0 : static_cast<uint64_t>(timeout.count()));
    if (!sendNow(message, deadline)) {
      if (errno == ETIMEDOUT) congested_ = true;
      return Sent::Failed;
    }
    congested_ = false;
    return Sent::Yes;
  }
  // Held-back messages go first, so that the order stays.
  if (deliverHeldBackLocked()) {
    if (sendNow(message, realtimeDeadline(0))) {
      dropsInARow_ = 0;
      congested_ = false;
      return Sent::Yes;
    }
    if (errno != ETIMEDOUT) return Sent::Failed;
  }
  if (heldBackBytes_ + message.size() > kHeldBackBytes && !makeRoom(message.size(), timeout)) {
    ++dropsInARow_;
    errno = ENOBUFS;
    return Sent::Dropped;
  }
  if (heldBack_.empty()) wakeRequestReaderLocked();
  heldBack_.push_back(holdCopy(message));
  heldBackBytes_ += message.size();
  return Sent::Yes;
}

bool ReplyQueue::deliverHeldBack() {
  std::lock_guard lock(mutex_);
  return descriptor_ == -1 || deliverHeldBackLocked();
}

uint64_t ReplyQueue::dropsInARow() const {
  std::lock_guard lock(mutex_);
  return dropsInARow_;
}

bool ReplyQueue::sendNow(Bytes message, const timespec& deadline) {
  int result;
  do {
    result = mq_timedsend(descriptor_, reinterpret_cast<const char*>(message.data()), message.size(), 0, &deadline);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool ReplyQueue::deliverHeldBackLocked() {
  const timespec now = realtimeDeadline(0);
  while (!heldBack_.empty()) {
    if (!deliverOldest(now)) return false;
  }
  return true;
}

bool ReplyQueue::deliverOldest(const timespec& deadline) {
  const std::vector<uint8_t>& next = heldBack_.front();
  const bool sent = sendNow(next, deadline);
  if (!sent && errno == ETIMEDOUT) return false;
  // A queue that fails for another reason than being full does not take it later either.
  dropsInARow_ = sent ? 0 : dropsInARow_ + 1;
  if (sent) congested_ = false;
  heldBackBytes_ -= next.size();
  if (spareBytes_ + next.capacity() <= kHeldBackBytes) {
    spareBytes_ += next.capacity();
    spare_.push_back(std::move(heldBack_.front()));
  }
  heldBack_.pop_front();
  return true;
}

std::vector<uint8_t> ReplyQueue::holdCopy(Bytes message) {
  std::vector<uint8_t> copy;
  if (!spare_.empty()) {
    copy = std::move(spare_.back());
    spare_.pop_back();
    spareBytes_ -= copy.capacity();
  }
  copy.assign(message.begin(), message.end());
  return copy;
}

bool ReplyQueue::makeRoom(size_t bytes, std::chrono::milliseconds timeout) {
  if (congested_) return false;
  const timespec deadline = realtimeDeadline(static_cast<uint64_t>(timeout.count()));
  while (!heldBack_.empty() && heldBackBytes_ + bytes > kHeldBackBytes) {
    if (!deliverOldest(deadline)) {
      congested_ = true;
      return false;
    }
  }
  return heldBackBytes_ + bytes <= kHeldBackBytes;
}

void ReplyQueue::setDeliveryWake(mqd_t requestWriter) {
  std::lock_guard lock(mutex_);
  deliveryWake_ = requestWriter;
}

void ReplyQueue::wakeRequestReader() {
  std::lock_guard lock(mutex_);
  wakeRequestReaderLocked();
}

void ReplyQueue::wakeRequestReaderLocked() {
  // A full request queue wakes its reader anyway.
  const char empty = 0;
  if (deliveryWake_ != -1) mq_send(deliveryWake_, &empty, 0, 0);
}

void ReplyQueue::waitForRequestOrRoom(mqd_t request, std::chrono::milliseconds timeout) const {
  // Queue descriptors are file descriptors here: room shows as writable.
  pollfd polled[2] = {{request, POLLIN, 0}, {number(), POLLOUT, 0}};
  poll(polled, 2, static_cast<int>(timeout.count()));
}

ssize_t receiveWithin(mqd_t queue, Buffer buffer, std::chrono::milliseconds timeout) {
  const timespec deadline = realtimeDeadline(static_cast<uint64_t>(timeout.count()));
  const ssize_t received =
      mq_timedreceive(queue, reinterpret_cast<char*>(buffer.data()), buffer.size(), nullptr, &deadline);
  if (received >= 0) return received;
  return errno == ETIMEDOUT || errno == EINTR ? 0 : -1;
}

} // namespace qor::daemon
