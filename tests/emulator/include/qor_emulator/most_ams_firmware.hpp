// The application message service (command 0x23) of MOST interfaces attached to an emulated ring: the application
// sends messages of up to 65536 data bytes in segments over a channel, they travel the ring as telegrams
// (most_ams_telegrams.hpp), and the node they are addressed to takes them as a response its channel awaits or else
// into its receive buffer.
//
// Requests begin {u8 selector, u8 channel, u16 0}; answers repeat these four bytes, then:
//   0 allocate a channel                                  -> {u8 1, u8 channel, 2 zeros}, {4 zeros} when none is free
//   1 free the channel; what it collected or awaited is dropped
//   2 first segment {u32 timeout µs, u16 target, u8 fblock, u8 instance, u16 function, u8 operation type,
//     u8 message type, u8 mode, 3 zeros, u32 data length, u32 chunk length, chunk}
//   3 next segment {u32 chunk length, chunk}              -> {u8 sent, 3 zeros} for both
//     The message goes round the ring with the segment that completes it (sent = 1). A command (operation type
//     below 9) with a time-out other than 0 then awaits its response: a report (operation type 9 or above) from the
//     target with the same fblock and function, for at most the time-out.
//   4 state                                               -> {u8 flags, 3 zeros, u32 status 0}
//     flags: bit 0 a response is there, bit 1 a response is awaited
//   5 read the response -> {u8 flags, 3 zeros, u32 status 0, u16 source, u8 fblock, u8 instance, u16 function,
//     u8 operation type, u8 message type, u32 data length, u32 chunk length, chunk}
//     flags: bit 0 a response is there, bit 1 its data are all in this answer, bit 2 a response is awaited
//   6 the response's next piece                           -> {u8 last, 3 zeros, u32 piece length, piece}
//     A response is read once: the answer that carries its last data gives it up.
//   7 receive buffer configuration {4 zeros, u32 value, u8 mode, 3 zeros}: acknowledged, the buffer has no settings
//   9 notifications {u8 0 responses / 1 receive buffer, u8 0, u8 1 on / 0 off, u8 0}
// Every answer is at most maxAnswerBytes long, chunks and pieces included.
//
// The receive buffer keeps the messages addressed to the node that no channel awaits, in order. While a channel has
// its receive buffer notifications on, they go to that channel's application as frames {u8 8, u8 channel, u16 0,
// u32 bytes of blocks, blocks}; each block {u16 n, u8 0, u8 flags (bit 0 first piece, bit 1 last piece, bit 2 more
// messages follow), u32 message length in a first piece or the piece's position, n bytes, zeros to a multiple of
// four}; a message is {u16 source, u8 fblock, u8 instance, u16 function, u8 operation type, u8 message type,
// u32 data length, data}. While a channel has its response notifications on, a response goes to its application at
// once as the answers of selectors 5 and 6 would carry it. A time-out is noticed when the application asks.
//
// Requests it cannot serve (a record too short for its selector or lengths, a segment that does not continue the
// message, a channel that is not allocated, an unknown selector, a node it does not serve) get a negative
// acknowledge with kMostAmsRefusal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/most_ams_telegrams.hpp"
#include "qor_emulator/most_ring.hpp"

namespace qor::emulator {

inline constexpr uint32_t kMostAmsRefusal = 0x00230001;
inline constexpr uint8_t kMostAmsChannels = 4;  // numbered from 1
inline constexpr size_t kMostAmsMaxAnswerBytes = 4084;

class MostAmsFirmware {
 public:
  // Serves command 0x23 of the device for the given MOST interfaces (each attached to the ring) and listens on the
  // ring for them; the device's handler and the ring's listeners keep the firmware alive.
  static std::shared_ptr<MostAmsFirmware> attachTo(Device& device, MostRing& ring, std::vector<uint8_t> interfaces,
                                                   size_t maxAnswerBytes = kMostAmsMaxAnswerBytes);

 private:
  struct Channel;
  struct Node;
  struct Outcome;

  MostAmsFirmware(Device& device, MostRing& ring, size_t maxAnswerBytes);
  Reply answer(const ReceivedFrame& frame);
  Outcome serve(const ReceivedFrame& frame);
  std::optional<Outcome> takeSegment(std::span<const uint8_t> parameters, Channel& channel);
  // The answers of selectors 5 and 6 after their four head bytes; they read the response on.
  Bytes responseHead(Channel& channel);
  Bytes responsePiece(Channel& channel);
  // Notification frames' data: the channel's whole response, or the receive buffer's messages (which leave it).
  std::vector<Bytes> responseFrames(Channel& channel, uint8_t number);
  std::vector<Bytes> rxBufferFrames(Node& node);
  void heard(uint8_t interfaceNumber, const MostControlMessage& telegram);
  void notify(uint8_t interfaceNumber, std::vector<Bytes> frames);

  Device& device_;
  MostRing& ring_;
  const size_t maxAnswerBytes_;
  mutable std::mutex mutex_;  // guards the nodes; never held while a message goes round or a frame goes out
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
};

}  // namespace qor::emulator
