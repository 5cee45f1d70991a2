#include "adapter_link.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "qor_usb_platform.h"

namespace qor::usb {
namespace {

constexpr uint32_t kConnectionFailed = 0xE0000300;
constexpr uint32_t kNoConnection = 0xE0000304;
constexpr uint32_t kTimeout = 0xE0000305;
constexpr uint32_t kResponseTooLong = 0xE0000308;
// Beyond the call's own wait: the adapter answers at once otherwise.
constexpr int kAnswerMarginMs = 2000;
constexpr uint32_t kLongestConnectMs = 10000;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

std::optional<uint16_t> adapterPort() {
  std::ifstream settings(link::kAdapterSettingsPath);
  std::string line;
  const std::string key = link::kAdapterPortKey;
  while (std::getline(settings, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    const unsigned long port = strtoul(line.c_str() + key.size(), nullptr, 10);
    if (port > 0 && port <= UINT16_MAX) return static_cast<uint16_t>(port);
  }
  return std::nullopt;
}

std::shared_ptr<AdapterConnection> AdapterConnection::open(uint32_t target, uint16_t port, uint32_t milliseconds,
                                                           uint32_t& code) {
  code = kConnectionFailed;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  std::shared_ptr<AdapterConnection> connection(new AdapterConnection(fd));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = target;
  address.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return nullptr;
    pollfd polled{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (poll(&polled, 1, static_cast<int>(std::min(milliseconds, kLongestConnectMs))) != 1 ||
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return nullptr;
    }
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  code = 0;
  return connection;
}

AdapterConnection::~AdapterConnection() { close(fd_); }

bool AdapterConnection::sendAll(const void* data, size_t length) const {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerMarginMs);
  while (length > 0) {
    const ssize_t sent = send(fd_, bytes, length, MSG_NOSIGNAL);
    if (sent > 0) {
      bytes += sent;
      length -= static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd polled{fd_, POLLOUT, 0};
    if (poll(&polled, 1, remainingMs(deadline)) != 1) return false;
  }
  return true;
}

bool AdapterConnection::receiveAll(void* data, size_t length, int boundMs) const {
  auto* bytes = static_cast<uint8_t*>(data);
  const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  while (length > 0) {
    const ssize_t got = recv(fd_, bytes, length, 0);
    if (got > 0) {
      bytes += got;
      length -= static_cast<size_t>(got);
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    pollfd polled{fd_, POLLIN, 0};
    if (poll(&polled, 1, remainingMs(deadline)) != 1) return false;
  }
  return true;
}

LinkAnswer AdapterConnection::call(const LinkCall& call) try {
  if (call.data.size() > link::kMaxData) return LinkAnswer{QOR_USB_INVALID_LENGTH, 0, {}};
  std::lock_guard lock(mutex_);
  if (broken_) return LinkAnswer{kNoConnection, 0, {}};
  const uint32_t waitMs = std::min(call.timeoutMs, link::kMaxWaitMs);
  const link::Request request{static_cast<uint32_t>(call.operation), call.deviceType, call.index, call.argument,
                              waitMs, static_cast<uint32_t>(call.data.size())};
  // A link that lost a request or a reply halfway can never be read in step again.
  if (!sendAll(&request, sizeof request) || !sendAll(call.data.data(), call.data.size())) {
    broken_ = true;
    return LinkAnswer{kNoConnection, 0, {}};
  }
  link::Reply reply{};
  if (!receiveAll(&reply, sizeof reply, static_cast<int>(waitMs) + kAnswerMarginMs)) {
    broken_ = true;
    return LinkAnswer{kTimeout, 0, {}};
  }
  if (reply.length > link::kMaxData) {
    broken_ = true;
    return LinkAnswer{kResponseTooLong, 0, {}};
  }
  LinkAnswer answer{reply.code, reply.value, std::vector<uint8_t>(reply.length)};
  if (!receiveAll(answer.data.data(), answer.data.size(), kAnswerMarginMs)) {
    broken_ = true;
    return LinkAnswer{kTimeout, 0, {}};
  }
  return answer;
} catch (...) {
  return LinkAnswer{QOR_USB_UNDEFINED_ERROR, 0, {}};
}

} // namespace qor::usb
