// The firmware's monitor as trace channels drive it on LIN, FlexRay and Ethernet interfaces, with the items a test
// scripts (well formed or not) or those of what the interfaces hear on an emulated bus: every request is logged, and
// a started monitor's poll answers with the items queued for its interface, as many as fit in 4000 bytes, in the
// bus's framing.
//
//   bus       command  configure  start  stop  poll (answer after the request's head)
//   LIN       0x50     9          12     13    14: {14, 0, 0, 0, u16 count, u16 0, items}
//   FlexRay   0x21     0          1      2     3:  {3, instance, 0, 0, u32 0, items}
//   Ethernet  0x50     0          1      2     3:  {3, instance, 0, 0, u16 count, u16 0, items}
// Other answers repeat the request's first four bytes. A poll before start answers with no items.
//
// Items heard on a bus, stamped with the bus time (what a node hears while its monitor is stopped is not kept):
//   LIN       u16 20 + n, u16 0, u64 ns, {u8 frame state, u8 n, u8 id, 0}, u32 bit time in 1/8 ns, n bytes: the data,
//             then the checksum (enhanced, classic for ids 60 to 63)
//   FlexRay   u16 20 + payload, u16 1, u64 ns, u8 channel (0 A, 1 B, 2 both), u8 0, u16 slot, u8 cycle, u8 words,
//             u16 0, the payload
//   Ethernet  u16 16 + frame, u16 1, u64 ns, u8 0 (heard), u8 0, u16 frame bytes, the frame
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/ethernet_link.hpp"
#include "qor_emulator/flexray_cluster.hpp"
#include "qor_emulator/lin_bus.hpp"

namespace qor::emulator {

inline constexpr uint32_t kTraceMonitorRefusal = 0x00500002;

class TraceMonitorFirmware {
 public:
  enum class Bus { Lin, FlexRay, Ethernet };

  // Serves the bus's monitor command on the given interfaces; the device's handler keeps the firmware alive.
  static std::shared_ptr<TraceMonitorFirmware> attachTo(Device& device, Bus bus, std::vector<uint8_t> interfaces);
  // The same, the interfaces attached to the bus, whose monitors record what they hear on it.
  static std::shared_ptr<TraceMonitorFirmware> attachTo(Device& device, LinBus& bus, std::vector<uint8_t> interfaces);
  static std::shared_ptr<TraceMonitorFirmware> attachTo(Device& device, FlexRayCluster& cluster,
                                                        std::vector<uint8_t> interfaces);
  static std::shared_ptr<TraceMonitorFirmware> attachTo(Device& device, EthernetLink& link,
                                                        std::vector<uint8_t> interfaces);

  // Items' bytes exactly as the next polls of the interface return them; queued in one go, so that no poll comes
  // between them (one poll takes them all, as far as they fit).
  void queue(uint8_t interfaceNumber, std::vector<Bytes> items);
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
  // Queues the item of what the interface heard, while its monitor runs.
  void heard(uint8_t interfaceNumber, Bytes item);

  const Bus bus_;
  mutable std::mutex mutex_;
  std::map<uint8_t, Node> nodes_;
};

}  // namespace qor::emulator
