// The K-Line of an emulated controller: its K-Line interfaces share one line. What one node transmits through its
// UART FIFO reaches the receive FIFOs and the started monitors of the others; feed() puts the bytes of a node outside
// the device on the line. Answers command 0x20 (UART FIFO) and 0x54 (monitor) of the device from attachTo on; every
// answer begins with the request's u32 sub-function.
//
//   0x20 sub  request after the sub-function         answer after the sub-function
//   0         reset: both FIFOs emptied               -
//   1         init {u32 0, 3 x u32, 4 x u8}           u32 0, u32 kInitResult
//   2         transmit {u32 n, n bytes}               u32 0
//   3         receive                                 u8 flags (bit 0: more bytes wait), 3 x 0, u32 c, c bytes
//   4         transmit state                          u8 flags (bit 0: transmit FIFO empty), 3 x 0, u32 0,
//                                                     u32 bytes waiting to be received
//   5         receive state                           u8 flags (bit 0: bytes wait), 3 x 0, u32 bytes waiting,
//                                                     u32 kReceiveFifoRoom
//   0x54 sub  0 stop (the core's), 1 regular, 2 advanced, 3 start, 4 stop: no data.
//
// A started monitor gets each byte on the line as a regular item ({u32 time stamp, u8 0, u8 flags, u8 byte, u8 0}
// in frames {5, 0, 0, 0, u32 k, items}), or each transmission as one advanced item ({u32 12 + L, u32 time stamp,
// u8 0, u8 flags, u16 L, L bytes} in frames {6, 0, 0, 0, u32 payload length, u32 bytes sent before, u8 bits,
// 3 x 0, payload}), cut into frames of at most the monitor payload limit. Time stamps count 400-ns ticks, 240 per
// byte. Requests that break these layouts get a negative acknowledge with kKLineRefusal.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint8_t kKLineFifoCommand = 0x20;
inline constexpr uint8_t kKLineMonitorCommand = 0x54;
inline constexpr uint32_t kKLineRefusal = 0x00200001;
inline constexpr uint32_t kInitResult = 0x2A;
inline constexpr uint32_t kReceiveFifoRoom = 4096;

class KLineLine {
 public:
  // The K-Line interfaces of the device's controller.
  static std::shared_ptr<KLineLine> attachTo(Device& device, uint8_t controller = 1);

  // Bytes that a node outside the device sends: every interface receives them. flags: the monitor items' flags.
  void feed(std::span<const uint8_t> bytes, uint8_t flags = 0);
  // The most data bytes that one receive answer carries: the model's maximum parameter length less 12 unless set.
  void setReceiveAnswerLimit(size_t bytes);
  // A receive answer that announces more bytes than it carries: the next answers announce this many extra.
  void setReceiveCountSurplus(uint32_t bytes);
  // The most payload bytes of one monitor frame (the model's maximum parameter length less 16 unless set); longer
  // advanced items are cut into several frames, regular items go into as many frames as they need.
  void setMonitorPayloadLimit(size_t bytes);
  size_t receiveWaiting(uint8_t interfaceNumber) const;

 private:
  enum class Items { None, Regular, Advanced };
  struct Node {
    std::deque<uint8_t> received;
    Items items = Items::None;
    bool monitorStarted = false;
  };
  struct Outgoing {
    uint8_t interfaceNumber;
    Bytes data;
  };

  KLineLine(Device& device, uint8_t controller);
  Reply fifo(const ReceivedFrame& frame);
  Reply monitor(const ReceivedFrame& frame);
  // With mutex_ held: the bytes reach every node but the sender; returns the monitor frames to send.
  std::vector<Outgoing> carry(std::span<const uint8_t> bytes, uint8_t flags, std::optional<uint8_t> sender);
  std::vector<Bytes> monitorFrames(const Node& node, std::span<const uint8_t> bytes, uint8_t flags, uint32_t start);
  void send(const std::vector<Outgoing>& frames);

  Device& device_;
  const uint8_t controller_;
  mutable std::mutex mutex_;  // guards what follows; never held while sending
  std::map<uint8_t, Node> nodes_;
  size_t receiveLimit_ = SIZE_MAX;
  uint32_t countSurplus_ = 0;
  size_t monitorLimit_ = SIZE_MAX;
  uint32_t ticks_ = 0;
};

}  // namespace qor::emulator
