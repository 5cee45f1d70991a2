#include "tcp_connection.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace qor::emulator {
namespace {

// Room for the longest frame and the start of the next.
constexpr size_t kReceiveBufferSize = 2 * (QOR_FRAME_MAX_LENGTH + 1);
// A host that takes no bytes for this long gets its connection cut.
constexpr std::chrono::milliseconds kSendTimeout{5000};

}  // namespace

TcpConnection::TcpConnection(UniqueFd fd, uint64_t id, Device& device, std::shared_ptr<const Wakeup> stop)
    : fd_(std::move(fd)), id_(id), device_(device), stop_(std::move(stop)) {}

TcpConnection::~TcpConnection() { join(); }

void TcpConnection::start(bool blackHole) {
  thread_ = std::thread([this, blackHole] {
    if (blackHole) {
      waitUntilClosed();
    } else {
      readFrames();
    }
    cut();
    finished_ = true;
  });
}

void TcpConnection::join() {
  if (thread_.joinable()) thread_.join();
}

void TcpConnection::cut() {
  open_ = false;
  shutdown(fd_.get(), SHUT_RDWR);
}

void TcpConnection::play(const Reply& reply) {
  std::lock_guard lock(writeMutex_);
  for (const auto& step : reply.steps()) {
    if (!open_) return;
    switch (step.kind) {
      case Reply::Step::Kind::Send:
        if (!sendAll(fd_.get(), step.bytes, kSendTimeout, *stop_)) {
          cut();
          return;
        }
        break;
      case Reply::Step::Kind::Wait:
        if (!stop_->sleep(step.duration)) return;
        break;
      case Reply::Step::Kind::Cut:
        cut();
        return;
    }
  }
}

void TcpConnection::readFrames() {
  // One blocking receive per read, as a device's own loop, bounded so that open_ is looked at: a stop or a cut shuts
  // the socket down, which ends the receive at once. Sends do not wait on the socket (MSG_DONTWAIT).
  const int flags = fcntl(fd_.get(), F_GETFL);
  if (flags == -1 || fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return;
  const timeval bound{kPollBoundMs / 1000, (kPollBoundMs % 1000) * 1000};
  if (setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0) return;
  std::vector<uint8_t> buffer(kReceiveBufferSize);
  size_t have = 0;
  while (open_) {
    const ssize_t received = recv(fd_.get(), buffer.data() + have, buffer.size() - have, 0);
    if (received == 0) return;  // the host closed
    if (received < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return;
    }
    have += static_cast<size_t>(received);

    size_t start = 0;
    while (open_ && have - start >= QOR_FRAME_HEADER_SIZE) {
      uint16_t length = 0;
      std::memcpy(&length, buffer.data() + start + offsetof(FirmwareMessageHeader, length), sizeof length);
      // A length below 12 goes to the device with the header alone, which rejects it.
      const size_t frameLength = length < QOR_FRAME_HEADER_SIZE ? QOR_FRAME_HEADER_SIZE : length;
      if (have - start < frameLength) break;
      if (!device_.receive(std::span<const uint8_t>(buffer.data() + start, frameLength), shared_from_this())) {
        return;
      }
      start += frameLength;
    }
    std::memmove(buffer.data(), buffer.data() + start, have - start);
    have -= start;
  }
}

void TcpConnection::waitUntilClosed() {
  // Never reads; only a close by the host, a cut or the stop end it.
  while (open_) {
    pollfd polled[2] = {{fd_.get(), POLLRDHUP, 0}, {stop_->fd(), POLLIN, 0}};
    const int ready = poll(polled, 2, kPollBoundMs);
    if (ready < 0 && errno != EINTR) return;
    if (polled[1].revents != 0 || polled[0].revents != 0) return;
  }
}

}  // namespace qor::emulator
