// The firmware's monitor as trace channels drive it on LIN, FlexRay and Ethernet interfaces, with the items a test
// scripts (well formed or not): every request is logged, and a started monitor's poll answers with the items queued
// for its interface, as many as fit in 4000 bytes, in the bus's framing.
//
//   bus       command  configure  start  stop  poll (answer after the request's head)
//   LIN       0x50     9          12     13    14: {14, 0, 0, 0, u16 count, u16 0, items}
//   FlexRay   0x21     0          1      2     3:  {3, instance, 0, 0, u32 0, items}
//   Ethernet  0x50     0          1      2     3:  {3, instance, 0, 0, u16 count, u16 0, items}
// Other answers repeat the request's first four bytes. A poll before start answers with no items.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint32_t kTraceMonitorRefusal = 0x00500002;

class TraceMonitorFirmware {
 public:
  enum class Bus { Lin, FlexRay, Ethernet };

  // Serves the bus's monitor command on the given interfaces; the device's handler keeps the firmware alive.
  static std::shared_ptr<TraceMonitorFirmware> attachTo(Device& device, Bus bus, std::vector<uint8_t> interfaces);

  // Item bytes exactly as the next polls of the interface return them.
  void queue(uint8_t interfaceNumber, Bytes item);
  // From now on every poll of the interface gets a negative acknowledge with this code.
  void failPolls(uint8_t interfaceNumber, uint32_t code);
  // The requests other than polls, in order; and the number of polls answered.
  std::vector<Bytes> requests(uint8_t interfaceNumber) const;
  size_t polls(uint8_t interfaceNumber) const;

 private:
  struct Node {
    bool started = false;
    std::deque<Bytes> items;
    std::vector<Bytes> requests;
    size_t polls = 0;
    std::optional<uint32_t> pollFailure;
  };

  explicit TraceMonitorFirmware(Bus bus) : bus_(bus) {}
  Reply answer(const ReceivedFrame& frame);

  const Bus bus_;
  mutable std::mutex mutex_;
  std::map<uint8_t, Node> nodes_;
};

}  // namespace qor::emulator
