// The firmware's CAN monitor as an emulated device runs it on CAN interfaces attached to an emulated bus: every frame
// a node hears becomes a monitor item of each started instance of that node, with the bus time as its time stamp.
//
// Command 0x50: requests and answers begin {u8 sub-function, u8 instance (0 to 3), u16 0}, answers repeat them.
//   sub  request after the head                       answer after the head
//   1    monitor time, width 32                       u32 flag (1 while started), u32 start, u32 now, u8 unit (units)
//   6    user event                                   -
//   7    stop                                         -
//   8/9  configure: u8 options, u8 mode, u16 0, u32 0 -   (8: compact items; 9: API items, large with mode bit 8)
//   12   start                                        -
//   13   stop (as the trace stops it)                 -
//   14   read API items                               u32 count, items
//   15   read large items                             items back to back
//   16   read compact items                           u32 count, items
//   19   monitor time, width 64                       u32 flag, u64 start ns, u64 now ns
// Mode bit 0 (items buffered by the host): the items go at once to the application that started the instance, in
// frames of command 0x50 whose data are a read's answer: {14, instance, u16 0, u32 count, items} (compact or API
// items) or {15, instance, u16 0, large items}. Otherwise they wait in the firmware for the reads 14, 15 and 16.
//
// Items: compact {u32 time in units, u32 identifier, u8 flags, u8 DLC, u8 unit, u8 0, data[8]}; API {u64 time ns,
// u32 identifier, u16 flags, u8 DLC, u8 DLC, data[8]}; large {u64 time ns, u32 identifier, u16 flags, u8 DLC, u8 n,
// n data bytes, zeros to (n + 19) & ~3}. Flags are the frame's message flags.
//
// List mode: 0x54 {u32 2} starts it (forgetting what it kept), {u32 0} stops it; while on, the node keeps the last
// frame of each identifier. 0xF2 {u32 identifier} answers {u32 identifier, u32 time in units, u32 frames seen,
// u8 flags, u8 DLC, u8 unit, u8 0, data[8]} (zeros after the identifier when none was seen).
//
// Requests it cannot serve (a short record, an unknown sub-function, an instance above 3) get a negative acknowledge
// with kCanMonitorRefusal.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint32_t kCanMonitorRefusal = 0x00500001;

class CanMonitorFirmware : public std::enable_shared_from_this<CanMonitorFirmware> {
 public:
  // Serves commands 0x50, 0x54 and 0xF2 of the device and listens on the bus on the given CAN interfaces (each
  // attached to the bus); the device's handlers and the bus's listeners keep the firmware alive.
  static std::shared_ptr<CanMonitorFirmware> attachTo(Device& device, CanBus& bus, std::vector<uint8_t> interfaces);

  // The unit of compact items' time stamps: 0 = 10,000 ns, 1 = 400 ns (the default).
  void setCompactTimeUnit(uint8_t unit);
  // Items per frame sent to the host (1 unless set); a frame goes when it is full or on flush().
  void setItemsPerFrame(size_t items);
  void flush();

  // Items that wait in the firmware for a direct read, per interface and instance.
  size_t storedItems(uint8_t interfaceNumber, uint8_t instance) const;

 private:
  struct Instance;
  struct ListEntry;
  struct Node;
  struct Outgoing {
    uint8_t application;
    Bytes frame;
  };

  CanMonitorFirmware(Device& device, CanBus& bus);
  Reply answer(const ReceivedFrame& frame);
  Reply monitorCommand(const ReceivedFrame& frame);
  Reply listModeCommand(const ReceivedFrame& frame);
  Reply listItem(const ReceivedFrame& frame);
  void heard(uint8_t interfaceNumber, const CanFrame& frame, uint64_t busTimeNs);
  void send(std::vector<Outgoing> frames);
  static size_t itemBytes(const Instance& instance, const CanFrame& frame);
  void appendItem(Bytes& bytes, const Instance& instance, const CanFrame& frame, uint64_t busTimeNs) const;
  void takePending(Instance& instance, std::vector<Outgoing>& out);

  Device& device_;
  CanBus& bus_;
  mutable std::mutex mutex_;  // guards what follows; never held while frames go out
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
  uint8_t compactUnit_ = 1;
  size_t itemsPerFrame_ = 1;
};

}  // namespace qor::emulator
