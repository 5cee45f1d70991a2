#include "client_queue.hpp"

#include <cerrno>

#include "qor_shared/deadline.hpp"

namespace qor::daemon {

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
  const timespec deadline = realtimeDeadline(congested_ ? 0 : static_cast<uint64_t>(timeout.count()));
  int result;
  do {
    result = mq_timedsend(descriptor_, reinterpret_cast<const char*>(message.data()), message.size(), 0, &deadline);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errno == ETIMEDOUT) congested_ = true;
    return Sent::Failed;
  }
  congested_ = false;
  return Sent::Yes;
}

ssize_t receiveWithin(mqd_t queue, Buffer buffer, std::chrono::milliseconds timeout) {
  const timespec deadline = realtimeDeadline(static_cast<uint64_t>(timeout.count()));
  const ssize_t received =
      mq_timedreceive(queue, reinterpret_cast<char*>(buffer.data()), buffer.size(), nullptr, &deadline);
  if (received >= 0) return received;
  return errno == ETIMEDOUT || errno == EINTR ? 0 : -1;
}

} // namespace qor::daemon
