// The stand-in libuoe_QorUSB_Platform's back end: one TCP connection per adapter, to the adapter's own address at
// the port named in the stand-in's settings file (qor_usb_emulator_link.hpp).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "emulator_link.hpp"

namespace qor::usb {

// The adapters' port from the settings file; none when there is no file or no such line.
std::optional<uint16_t> adapterPort();

class AdapterConnection {
public:
  // Connects to target (an IPv4 address in network order) within milliseconds; nullptr and code set on failure.
  static std::shared_ptr<AdapterConnection> open(uint32_t target, uint16_t port, uint32_t milliseconds,
                                                 uint32_t& code);
  ~AdapterConnection();
  AdapterConnection(const AdapterConnection&) = delete;
  AdapterConnection& operator=(const AdapterConnection&) = delete;

  // One request and its reply; the calls of all threads take turns. "ethernet - no connection" once the link broke,
  // "ethernet - timeout" when no reply came in time, "ethernet - response too long" for a reply beyond the most
  // one message carries. Never throws.
  LinkAnswer call(const LinkCall& call);

private:
  explicit AdapterConnection(int fd) : fd_(fd) {}
  bool sendAll(const void* data, size_t length) const;
  bool receiveAll(void* data, size_t length, int boundMs) const;

  std::mutex mutex_; // one exchange at a time
  int fd_;
  bool broken_ = false;
};

} // namespace qor::usb
