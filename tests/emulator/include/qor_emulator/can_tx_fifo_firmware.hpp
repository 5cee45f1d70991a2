// The firmware's transmit FIFO and transmit traces of the CAN interfaces of an emulated device, sending onto an
// emulated CAN bus at a bus rate (frames per second) that a test sets. Each interface (the frame's TPort) has its own
// FIFO and traces.
//
// Transmit FIFO (parameters little endian):
//   0xB0 {u32 0}              reset: the waiting messages are dropped
//   0xB1 {u32 id, u8 dlc, 3 x 0, data bytes of the DLC}                one message
//   0xB2 {u32 n, n x {u32 id, u8 dlc, 3 x 0, u8 data[8]}}              classic messages, min(dlc, 8) data bytes
//   0xB4 records {u32 id, u8 dlc, u8 item flag, u8 message flags, u8 0, data bytes of the DLC, zeros to 4}
//   0xB3 {}  answer {u32 free slots, u32 messages lost because the FIFO was full}
// A classic message takes one slot, an extended (0xB4) one two. What does not fit when it arrives is lost and
// counted. The FIFO drains in order onto the bus, one frame per bus period; at a rate of 0 it does not drain.
//
// Transmit trace, command 0x79, {u32 sub-function, u32 handle, ...}; the answer repeats the two words and has 20 bytes:
//   0 allocate            answer's word at 8: the new handle
//   1 free
//   2 download {u32 flags, u32 n, n records}: flags bit 0 appends to the trace, else it starts afresh; records
//     {u32 first value, u32 id (bit 30: more than 8 data bytes), u8 dlc, u8 option 1, u8 option 3, u8 option 2,
//     data: 8 bytes for up to 8 data bytes, else the data bytes of the DLC}
//   3 play {u32 0}        the trace's frames go onto the bus in order (id without bit 30), after what waits
//   4 state               answer: u32 state (bits 0-1: 0 empty, 1 loaded, 2 playing, 3 played; plus the bits a
//                         test sets), u32 records, u32 records played
//   5 set property {u16 id, u16 0, u32 value}; 6 get property {u16 id, u16 0}, answer u16 id at 8, u32 value at 12
// Refused requests (unknown handle or sub-function, property above 1, broken or no records) get a negative
// acknowledge with kCanTxFirmwareRefusal.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint8_t kTxFifoResetCommand = 0xB0;
inline constexpr uint8_t kTxFifoMessageCommand = 0xB1;
inline constexpr uint8_t kTxFifoClassicChunkCommand = 0xB2;
inline constexpr uint8_t kTxFifoStateCommand = 0xB3;
inline constexpr uint8_t kTxFifoExtendedChunkCommand = 0xB4;
inline constexpr uint8_t kTxTraceCommand = 0x79;
inline constexpr uint32_t kCanTxFirmwareRefusal = 0x00B00001;

class CanTxFifoFirmware {
 public:
  // One message of a trace, as its record carries it.
  struct TraceRecord {
    uint32_t firstValue;
    uint32_t identifier;  // as sent, bit 30 included
    uint8_t dlc;
    uint8_t options[3];   // first, second, third option byte
    Bytes data;           // the data bytes of the DLC
  };
  struct Download {
    uint32_t flags;
    uint32_t records;
  };

  // Answers the FIFO and trace commands of the device from now on and sends onto the bus, from the device's
  // interfaces that are attached to it. The caller owns the firmware; once it is gone the commands are refused.
  static std::shared_ptr<CanTxFifoFirmware> attachTo(Device& device, CanBus& bus, uint32_t slots,
                                                     uint32_t framesPerSecond);
  ~CanTxFifoFirmware();
  CanTxFifoFirmware(const CanTxFifoFirmware&) = delete;
  CanTxFifoFirmware& operator=(const CanTxFifoFirmware&) = delete;

  // 0 stops the draining (a FIFO that stays full); a higher rate goes on from now.
  void setBusRate(uint32_t framesPerSecond);
  // State bits that the trace state reports besides bits 0 and 1.
  void setTraceStateBits(uint8_t interfaceNumber, uint32_t handle, uint32_t bits);
  // Waits at most timeoutMs until nothing of the interface waits to go onto the bus; false when something still does.
  bool waitUntilSent(uint8_t interfaceNumber, uint32_t timeoutMs);

  uint32_t freeSlots(uint8_t interfaceNumber) const;
  uint32_t lostMessages(uint8_t interfaceNumber) const;
  // Chunks (0xB2 and 0xB4) and state queries (0xB3) that arrived.
  uint64_t chunks(uint8_t interfaceNumber) const;
  uint64_t stateQueries(uint8_t interfaceNumber) const;
  std::optional<std::vector<TraceRecord>> trace(uint8_t interfaceNumber, uint32_t handle) const;
  std::vector<Download> downloads(uint8_t interfaceNumber, uint32_t handle) const;
  std::optional<uint32_t> traceProperty(uint8_t interfaceNumber, uint32_t handle, uint16_t id) const;

 private:
  struct Node;
  struct Trace;

  CanTxFifoFirmware(Device& device, CanBus& bus, uint32_t slots, uint32_t framesPerSecond);
  Reply answer(const ReceivedFrame& frame);
  Reply answerTrace(const ReceivedFrame& frame, Node& node);
  Node& node(uint8_t interfaceNumber);  // with mutex_ held
  const Node* findNode(uint8_t interfaceNumber) const;
  void drain(uint8_t interfaceNumber, Node& node);  // the node's thread

  Device& device_;
  CanBus& bus_;
  const uint32_t slots_;
  mutable std::mutex mutex_;  // guards the nodes, the rate and the stop
  std::condition_variable changed_;  // something to send, a rate, a frame sent, the stop
  uint32_t framesPerSecond_;
  bool stopping_ = false;
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
};

}  // namespace qor::emulator
