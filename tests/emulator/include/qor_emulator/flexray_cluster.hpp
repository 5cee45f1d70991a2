// An emulated FlexRay cluster: FlexRay interfaces of emulated devices attached to two channels, A and B, at
// 10 Mbit/s each. What one node transmits reaches the listeners of every other node on the channels the frame went
// on, in the order sent, with the bus time at which it went out; a node's listener is its firmware (receive buffers
// and monitors). A node does not hear itself.
//
//   FlexRayCluster cluster;
//   cluster.attach(*device_, 1);
//   cluster.attach(*device_, 2);
//   cluster.listen(*device_, 2, [&](const FlexRayFrame& frame, uint64_t busTimeNs) { ... });
//   cluster.transmit(*device_, 1, FlexRayFrame{0x12, 0, kFlexRayChannelA, {0xAA, 0xBB}});
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

// Channel codes are masks of the channels.
inline constexpr uint8_t kFlexRayChannelA = 1;
inline constexpr uint8_t kFlexRayChannelB = 2;
inline constexpr uint8_t kFlexRayChannelsAB = 3;
inline constexpr size_t kFlexRayMaxPayloadBytes = 254;
inline constexpr double kFlexRayBitsPerSecond = 10e6;  // per channel

struct FlexRayFrame {
  uint16_t slot = 0;     // the frame identifier
  uint8_t cycle = 0;     // the cycle counter, the receive buffers' selector
  uint8_t channels = 0;  // kFlexRayChannelA, kFlexRayChannelB or both
  Bytes payload;         // an even number of bytes, at most 254
};

// Bits a frame occupies on one channel: the start sequences, a 5-byte header and a 3-byte trailer, each byte sent
// as ten bits, and the end sequence.
uint32_t flexRayFrameBits(size_t payloadBytes);

class FlexRayCluster {
 public:
  using Listener = std::function<void(const FlexRayFrame& frame, uint64_t busTimeNs)>;

  FlexRayCluster();

  void attach(const Device& device, uint8_t interfaceNumber);
  // Replaces the node's listener; an empty one stops listening. Listeners run one at a time, on the transmitting
  // thread, and must not transmit themselves.
  void listen(const Device& device, uint8_t interfaceNumber, Listener listener);

  // Sends the frame from an attached node to all others; returns its bus time. Throws std::invalid_argument for a
  // node that is not attached, a payload of an odd or too large size or no channel.
  uint64_t transmit(const Device& device, uint8_t interfaceNumber, const FlexRayFrame& frame);

  // Nanoseconds since the cluster was made, on the monotonic clock.
  uint64_t now() const;
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
