// Answers the daemon's device discovery for the emulated devices.
//
// The daemon sends the 42-byte request "Hestor electronic device discovery request" (no NUL) by UDP to port
// 1234 at the directed broadcast address of each adapter the client names in its driver-information request
// (adapter address OR NOT netmask), and takes each answer's sender address as the device's address. On loopback,
// inside a network namespace of the test's own with only lo up, this works as follows:
// - the client names the adapter 127.0.0.1 with netmask 255.0.0.0, so the request goes to 127.255.255.255,
//   which lo delivers as a broadcast (with netmask 255.255.255.255 it goes to 127.0.0.1 itself, also fine);
// - the responder listens on 0.0.0.0:1234 and answers from each device's own address (127.0.0.2, 127.0.0.3,
//   ...; all of 127.0.0.0/8 is local), so the daemon lists one device per address, as it matches devices by
//   address;
// - a request sent to one device's own address is answered by that device alone, any other by every device.
// Nothing is sent beyond 127.0.0.0/8: requests from other addresses are ignored, and devices must have loopback
// addresses. Port 1234 is fixed by the daemon, so one responder per namespace.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace qor::emulator {

class Wakeup;

inline constexpr std::string_view kDiscoveryRequest = "Hestor electronic device discovery request";
inline constexpr std::string_view kDiscoveryResponse = "Hestor electronic device discovery response";
inline constexpr uint16_t kDiscoveryPort = 1234;

// The answer text of a device: the response text and the keys port=, mac=, serial=, target= (the identity's
// device code), subNetMask= and defaultGateway=, one per line.
std::string discoveryAnswer(const Device& device, uint16_t tcpPort);

class DiscoveryResponder {
 public:
  DiscoveryResponder();
  ~DiscoveryResponder();  // stops
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  // Answers for the front end's device from its address with discoveryAnswer(); add it once it has started
  // when its port is 0.
  void add(const TcpFrontEnd& device);
  // Answers from `address` (in 127.0.0.0/8, std::invalid_argument otherwise) with exactly `answer`: missing
  // keys, unknown device codes, oversized answers.
  void add(const std::string& address, std::string answer);

  // Binds 0.0.0.0:1234; throws std::system_error when it cannot.
  void start();
  void stop();

  size_t requestsReceived() const;

 private:
  struct Answerer {
    uint32_t address;  // network order
    std::string answer;
  };

  void serve();
  // Counts a request sent to `destination` and returns who answers it.
  std::vector<Answerer> answerersFor(uint32_t destination);

  std::unique_ptr<Wakeup> stop_;
  int fd_ = -1;  // owned by the thread while it runs
  std::thread thread_;
  std::mutex controlMutex_;  // serialises start and stop

  mutable std::mutex mutex_;  // guards what follows
  std::vector<Answerer> answerers_;
  size_t requests_ = 0;
};

}  // namespace qor::emulator
