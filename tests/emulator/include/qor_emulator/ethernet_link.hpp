// An emulated Ethernet link: Ethernet interfaces of emulated devices attached to one shared link. What one node
// sends reaches the listeners of every other node (its receive FIFOs, its monitor), in the order sent, with the link
// time at which it went out. A node does not hear itself.
//
// Frames stay real, as a capture file will later hold them: destination and source address, EtherType (or an 802.3
// length), payload, no preamble and no FCS; 60 to 1514 bytes, 1518 with one VLAN tag. transmit refuses any other.
//
//   EthernetLink link;
//   link.attach(*device_, 1);
//   link.attach(*device_, 2);
//   link.addListener(*device_, 1, [&](std::span<const uint8_t> frame, uint64_t linkTimeNs) { ... });
//   link.transmit(*device_, 2, EthernetFrame::make(kBroadcast, kNodeAddress, 0x88B5, payload));
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

using MacAddress = std::array<uint8_t, 6>;
inline constexpr MacAddress kBroadcastMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

inline constexpr size_t kEthernetHeaderBytes = 14;
inline constexpr size_t kEthernetMinFrameBytes = 60;
inline constexpr size_t kEthernetMaxFrameBytes = 1514;
inline constexpr size_t kVlanTagBytes = 4;
inline constexpr uint16_t kVlanEtherType = 0x8100;

// A frame without a VLAN tag, of its length and EtherType, or with an 802.3 length that fits the frame.
bool wellFormedEthernetFrame(std::span<const uint8_t> frame);

struct EthernetFrame {
  // The payload behind the header, padded with zeros to the minimum frame. Throws std::invalid_argument when the
  // frame would exceed the largest one.
  static EthernetFrame make(const MacAddress& destination, const MacAddress& source, uint16_t etherType,
                            std::span<const uint8_t> payload);
  Bytes bytes;
};

class EthernetLink {
 public:
  using Listener = std::function<void(std::span<const uint8_t> frame, uint64_t linkTimeNs)>;

  EthernetLink();

  void attach(const Device& device, uint8_t interfaceNumber);
  // Adds a listener of the node (a node may have several: its receive FIFOs and its monitor). Listeners run one at
  // a time, on the sending thread, and must not send themselves. Throws std::invalid_argument for a node that is not
  // attached.
  void addListener(const Device& device, uint8_t interfaceNumber, Listener listener);

  // Sends the frame from an attached node to all others; returns its link time. Throws std::invalid_argument for a
  // node that is not attached or a frame that is not well formed.
  uint64_t transmit(const Device& device, uint8_t interfaceNumber, const EthernetFrame& frame);

  // Nanoseconds since the link was made, on the monotonic clock.
  uint64_t now() const;
  // Frames sent so far.
  uint64_t transmitted() const;

 private:
  using Node = std::pair<const Device*, uint8_t>;

  const uint64_t startNs_;
  mutable std::mutex mutex_;  // guards the nodes and the count
  std::map<Node, std::vector<Listener>> nodes_;
  uint64_t transmitted_ = 0;
  std::mutex deliveryMutex_;  // one frame at a time, so every listener hears the frames in one order
};

}  // namespace qor::emulator
