// Small pieces the front ends share: owned descriptors, a stop signal their threads poll, loopback addresses
// and bounded sends.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace qor::emulator {

// Bounds every poll of the front ends' threads; their stop signal wakes them at once anyway.
inline constexpr int kPollBoundMs = 1000;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// An eventfd that stays readable once raised, so any number of threads polling it wake at once.
class Wakeup {
 public:
  Wakeup();  // throws std::system_error
  int fd() const { return fd_.get(); }
  void raise();
  void clear();
  bool raised() const;
  // Sleeps for `duration`; false when raised meanwhile.
  bool sleep(std::chrono::milliseconds duration) const;

 private:
  UniqueFd fd_;
};

// The address in network order; std::invalid_argument unless it is dotted IPv4 within 127.0.0.0/8.
in_addr loopbackAddress(const std::string& text);
bool isLoopback(in_addr address);

// A non-blocking TCP socket listening on a loopback address; port 0 takes a free one, and `port` tells which.
// Rebinding right after closing is allowed, while closed connections still linger. Throws std::system_error.
UniqueFd listenOnLoopback(const std::string& address, uint16_t& port);

// Sends all bytes without blocking on the socket, waiting at most `timeout` for room; false on failure, time-out or
// a raised stop.
bool sendAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout, const Wakeup& stop);

[[noreturn]] void throwSystemError(const std::string& what);

}  // namespace qor::emulator
