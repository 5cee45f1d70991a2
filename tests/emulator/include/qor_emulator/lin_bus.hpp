// An emulated LIN bus: LIN interfaces of emulated devices attached to one bus. What one node transmits reaches the
// listeners of every other node, in the order sent, with the times at which its parts went over the bus at the bus's
// baud rate; a node's listener is its monitor. A node does not hear itself.
//
//   LinBus bus;  // 19200 baud
//   bus.attach(*device_, 1);
//   bus.attach(*device_, 2);
//   bus.listen(*device_, 1, [&](const LinFrame& frame, const LinTiming& timing) { ... });
//   bus.transmit(*device_, 2, LinFrame{0x21, {0xAA, 0xBB}});
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr size_t kLinMaxDataBytes = 8;

struct LinFrame {
  uint8_t frameId = 0;        // 0 to 63
  std::vector<uint8_t> data;  // at most 8 bytes
  uint8_t state = 0;          // what a receiving firmware reports as the frame's state (error bits and the like)
};

// When the parts of a frame went over the bus. Durations and ends count from the start of the break.
struct LinTiming {
  uint64_t startNs = 0;  // bus time of the break's start
  uint32_t breakNs = 0;  // break with its delimiter
  uint32_t syncNs = 0;
  uint32_t identifierNs = 0;
  uint32_t byteNs = 0;                 // one data or checksum byte
  std::vector<uint32_t> byteEndNs;     // of each data byte, then of the checksum

  uint32_t responseNs() const { return byteNs * static_cast<uint32_t>(byteEndNs.size()); }
};

class LinBus {
 public:
  using Listener = std::function<void(const LinFrame& frame, const LinTiming& timing)>;

  explicit LinBus(uint32_t baudRate = 19200);

  void attach(const Device& device, uint8_t interfaceNumber);
  // Replaces the node's listener; an empty one stops listening. Listeners run one at a time, on the transmitting
  // thread, and must not transmit themselves.
  void listen(const Device& device, uint8_t interfaceNumber, Listener listener);

  // Sends the frame from an attached node to all others; returns its timing. Throws std::invalid_argument for a node
  // that is not attached or a frame of more than 8 data bytes or an id above 63.
  LinTiming transmit(const Device& device, uint8_t interfaceNumber, const LinFrame& frame);

  // Nanoseconds since the bus was made, on the monotonic clock.
  uint64_t now() const;
  uint64_t transmitted() const;
  uint32_t bitNs() const { return bitNs_; }

 private:
  using Node = std::pair<const Device*, uint8_t>;

  LinTiming timingOf(const LinFrame& frame, uint64_t startNs) const;

  const uint64_t startNs_;
  const uint32_t bitNs_;
  mutable std::mutex mutex_;  // guards the nodes and the count
  std::map<Node, Listener> nodes_;
  uint64_t transmitted_ = 0;
  std::mutex deliveryMutex_;  // one frame at a time, so every listener hears the frames in one order
};

}  // namespace qor::emulator
