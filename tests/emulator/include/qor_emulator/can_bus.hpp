// An emulated CAN bus: CAN interfaces of emulated devices attached to one bus. What one node transmits (a single
// message, a cyclic one, one from the transmit FIFO or a trace) reaches the listeners of every other node, in the
// order sent, with the bus time at which it went out; a node's listener is its monitor. A node does not hear itself.
//
//   CanBus bus;
//   bus.attach(*device_, 1);
//   bus.attach(*device_, 2);
//   bus.listen(*device_, 2, [&](const CanFrame& frame, uint64_t busTimeNs) { ... });
//   bus.transmit(*device_, 1, CanFrame{0x123, 0, 2, {0xAA, 0xBB}});
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

struct CanFrame {
  uint32_t identifier = 0;
  uint8_t flags = 0;  // the firmware's message flags (bits 0 and 1)
  uint8_t dlc = 0;
  std::vector<uint8_t> data;  // the data bytes of the DLC
};

class CanBus {
 public:
  using Listener = std::function<void(const CanFrame& frame, uint64_t busTimeNs)>;

  CanBus();

  void attach(const Device& device, uint8_t interfaceNumber);
  // Replaces the node's listener; an empty one stops listening. Listeners run one at a time, on the transmitting
  // thread, and must not transmit themselves.
  void listen(const Device& device, uint8_t interfaceNumber, Listener listener);

  // Sends the frame from an attached node to all others; returns its bus time. Throws std::invalid_argument for a
  // node that is not attached.
  uint64_t transmit(const Device& device, uint8_t interfaceNumber, const CanFrame& frame);

  // Nanoseconds since the bus was made, on the monotonic clock.
  uint64_t now() const;
  // Frames transmitted so far.
  uint64_t transmitted() const;

 private:
  using Node = std::pair<const Device*, uint8_t>;

  const uint64_t startNs_;
  mutable std::mutex mutex_;  // guards the nodes and the count
  std::map<Node, Listener> nodes_;
  uint64_t transmitted_ = 0;
  std::mutex deliveryMutex_;  // one frame at a time, so every listener hears the frames in one order
};

}  // namespace qor::emulator
