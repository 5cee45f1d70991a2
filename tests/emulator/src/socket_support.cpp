#include "socket_support.hpp"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace qor::emulator {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

Wakeup::Wakeup() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_.get() < 0) throwSystemError("eventfd");
}

void Wakeup::raise() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(fd_.get(), &one, sizeof one);
}

void Wakeup::clear() {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t read = ::read(fd_.get(), &value, sizeof value);
}

bool Wakeup::raised() const {
  pollfd p{fd_.get(), POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

bool Wakeup::sleep(std::chrono::milliseconds duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    pollfd p{fd_.get(), POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
  }
}

in_addr loopbackAddress(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1 || !isLoopback(address)) {
    throw std::invalid_argument("not an address in 127.0.0.0/8: " + text);
  }
  return address;
}

bool isLoopback(in_addr address) { return (ntohl(address.s_addr) >> 24) == 127; }

bool sendAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout, const Wakeup& stop) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes = bytes.subspan(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd polled[2] = {{fd, POLLOUT, 0}, {stop.fd(), POLLIN, 0}};
    if (poll(polled, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
    if (polled[1].revents != 0) return false;
  }
  return true;
}

UniqueFd listenOnLoopback(const std::string& address, uint16_t& port) {
  constexpr int kBacklog = 16;
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) throwSystemError("socket");
  const int on = 1;
  if (setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) throwSystemError("SO_REUSEADDR");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = loopbackAddress(address);
  local.sin_port = htons(port);
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    throwSystemError("bind " + address + ":" + std::to_string(port));
  }
  if (listen(fd.get(), kBacklog) != 0) throwSystemError("listen");
  socklen_t size = sizeof local;
  if (getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) throwSystemError("getsockname");
  port = ntohs(local.sin_port);
  return fd;
}

void throwSystemError(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace qor::emulator
