// The firmware of MOST interfaces attached to an emulated ring: control messages (command 0x22) and the monitor
// (command 0x54, its items in frames of command 0x55).
//
// Requests begin {u8 selector, u8 0, u16 0}; answers repeat these four bytes, then:
// Command 0x22
//   0 send {u16 target, u8 fblock, u8 instance, u16 function, u8 operation type, u8 message type, u8 length, 3 zeros,
//          data}: the message goes round the ring                          -> {u8 1 (sent), 3 zeros}
//     after which the transmitter is busy for the transmit duration
//   1 transmitter state                                                     -> {u8 busy, 3 zeros, u32 status 0}
// Command 0x54
//   1 enabled ids {4 zeros, u32 count, u16 ids}            2 read them      -> {u32 0, u32 count, u16 ids}
//   5 streaming data {u8 flags, 3 zeros, u8 n, 3 zeros, n bytes}
//                                                          6 read it       -> {u8 flags, 3 zeros, u8 n, 3 zeros, bytes}
//   8 input {u8 input, 3 zeros}                            9 read it        -> {u8 input, 3 zeros}
//   10 data hold time {u16 time, u16 0}                    11 read it       -> {u16 time, u16 0}
//   12 monitor switch {4 zeros, u32 1 on / 0 off}
// Other requests answer nothing beyond the head.
//
// The monitor runs while switched on. Every control message the node hears then becomes an item of monitor id
// kMostMonitorControlMessageId when that id is enabled, and the item goes at once to the application that last sent a
// monitor command, in a frame of command 0x55 whose data are the item.
// Item: {u16 its bytes without padding, u16 monitor id, u32 0, u64 ring time ns, u16 source, u16 target, u8 fblock,
// u8 instance, u16 function, u8 operation type, u8 message type, u8 data length, u8 telegram id, data}, zeros to a
// multiple of four bytes.
//
// The receive side keeps every message the node hears, for the test to look at.
//
// Requests it cannot serve (a record too short for its selector or length, an unknown selector, a node it does not
// serve) get a negative acknowledge with kMostRingRefusal.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/most_ring.hpp"

namespace qor::emulator {

inline constexpr uint32_t kMostRingRefusal = 0x00220001;
inline constexpr uint16_t kMostMonitorControlMessageId = 0;
inline constexpr size_t kMostMonitorItemHeadBytes = 28;

class MostRingFirmware : public std::enable_shared_from_this<MostRingFirmware> {
 public:
  // Serves commands 0x22 and 0x54 of the device for the given MOST interfaces (each attached to the ring) and listens
  // on the ring for them; the device's handlers and the ring's listeners keep the firmware alive.
  static std::shared_ptr<MostRingFirmware> attachTo(Device& device, MostRing& ring, std::vector<uint8_t> interfaces);

  // How long the transmitter stays busy after a send (0 unless set).
  void setTransmitDuration(std::chrono::milliseconds duration);
  // The messages the node heard so far, in order.
  std::vector<MostControlMessage> received(uint8_t interfaceNumber) const;

 private:
  struct Node;

  MostRingFirmware(Device& device, MostRing& ring);
  Reply answer(const ReceivedFrame& frame);
  Reply controlMessageCommand(const ReceivedFrame& frame);
  Reply monitorCommand(const ReceivedFrame& frame);
  void heard(uint8_t interfaceNumber, const MostControlMessage& message, uint64_t ringTimeNs);

  Device& device_;
  MostRing& ring_;
  mutable std::mutex mutex_;  // guards what follows; never held while a message goes round or a frame goes out
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
  std::chrono::milliseconds transmitDuration_{0};
};

}  // namespace qor::emulator
