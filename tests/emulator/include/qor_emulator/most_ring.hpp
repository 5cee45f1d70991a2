// An emulated MOST ring: MOST interfaces of emulated devices as nodes in the order they were attached, each with its
// node address. A control message one node sends travels the ring once: every other node hears it, starting with the
// sender's successor, with the ring time at which it went out. A node's listeners are its firmware: the control side
// (receive side and monitor) hears a message first, then the application message service. A node does not hear
// itself.
//
//   MostRing ring;
//   ring.attach(*device_, 1, 0x100);
//   ring.attach(*device_, 2, 0x101);
//   ring.listen(*device_, 2, [&](const MostControlMessage& message, uint64_t ringTimeNs) { ... });
//   ring.transmit(*device_, 1, MostControlMessage{.targetAddress = 0x101, .functionId = 0x200, .data = {1, 2}});
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

struct MostControlMessage {
  uint16_t sourceAddress = 0;  // set by the ring to the sender's node address
  uint16_t targetAddress = 0;
  uint8_t fblockId = 0;
  uint8_t instanceId = 0;
  uint16_t functionId = 0;
  uint8_t operationType = 0;
  uint8_t messageType = 0;
  // A message longer than one telegram goes as several: 1 the first, 2 the middle ones, 3 the last, each beginning
  // with a message counter byte. 0: a message of one telegram.
  uint8_t telegramId = 0;
  std::vector<uint8_t> data;  // at most 255 bytes
};

enum class MostListenerRole : uint8_t { kControl, kApplication };

class MostRing {
 public:
  using Listener = std::function<void(const MostControlMessage& message, uint64_t ringTimeNs)>;

  MostRing();

  // Adds the node behind the last one. Throws std::invalid_argument when the node is attached already.
  void attach(const Device& device, uint8_t interfaceNumber, uint16_t nodeAddress);
  // Replaces the node's listener of that role; an empty one stops it listening. Listeners run one at a time, on the
  // sending thread, and must not transmit themselves.
  void listen(const Device& device, uint8_t interfaceNumber, Listener listener,
              MostListenerRole role = MostListenerRole::kControl);
  // The node's address. Throws std::invalid_argument for a node that is not attached.
  uint16_t addressOf(const Device& device, uint8_t interfaceNumber);

  // Sends the message from an attached node around the ring; returns its ring time. Throws std::invalid_argument for
  // a node that is not attached or data longer than 255 bytes.
  uint64_t transmit(const Device& device, uint8_t interfaceNumber, MostControlMessage message);

  // Nanoseconds since the ring was made, on the monotonic clock.
  uint64_t now() const;
  // Messages transmitted so far.
  uint64_t transmitted() const;

 private:
  struct Node {
    const Device* device;
    uint8_t interfaceNumber;
    uint16_t address;
    std::array<Listener, 2> listeners;  // by role
  };

  std::vector<Node>::iterator find(const Device& device, uint8_t interfaceNumber);

  const uint64_t startNs_;
  mutable std::mutex mutex_;  // guards the nodes and the count
  std::vector<Node> nodes_;   // in ring order
  uint64_t transmitted_ = 0;
  std::mutex deliveryMutex_;  // one message at a time, so every node hears the messages in one order
};

}  // namespace qor::emulator
