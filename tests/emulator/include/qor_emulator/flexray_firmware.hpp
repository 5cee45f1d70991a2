// The firmware of FlexRay interfaces of an emulated device on an emulated cluster: message buffers whose frames
// reach the other nodes' receive buffers, and up to four monitor instances per interface that record what the node
// hears and sends.
//
// Command 0x20, records {u32 sub-function, ...}, answers {u32 sub-function, ...}:
//   3 clears the buffers; 9 transmit buffer {u16 slot, u8 selector 1, u8 selector 2, u8 channels, u8 n words, u16, u8
//   flags, 3 x 0, data} and 10 receive buffer {u16 slot, u8, u8, u8 channels, 3 x 0} answer {u32 handle}; 11 deletes
//   {u32 handle}; 12 updates {u32 handle, u8 n, u8, u16, u8, 3 x 0, data}; 13 transmits {u32 handle, u8 n, 3 x 0,
//   u8, 3 x 0, data} the data as a frame of the buffer's slot, selector 1 as the cycle, on its channels; 14 reads
//   {u32 handle, u32 0} and answers {u16 slot, u8 cycle, u8 channel, u8 n, 3 x 0, u8 status (1: not read yet),
//   3 x 0, data} of the last frame heard on a slot and channel of the receive buffer; 15 finds a buffer by the
//   record of 10 and answers {u32 handle}. Other sub-functions (the controller's set-up) are answered {u32 sub}.
// Command 0x21, records {u8 sub-function, u8 instance (0 to 3), u16 0, ...}, answers repeat the head:
//   0 configure {u32 flags}; 1 start; 2 stop; 4 time, answering {u32 1 while started, u64 start ns, u64 now ns};
//   5 user event {u8 value, u8, u8 n, u8, n bytes}, an entry of kind kFlexRayUserEventEntry; 6 filter (kept, not
//   applied); 7 property set {u16 id, u16, u32 value}; 8 property get {u16 id, u16}, answering {u32 value} at +8.
// Monitor frames: command 0x21, data {u8 3, u8 instance, u16 0, u32 entry count, entries}, to the application that
// started the instance. Entries start at multiples of 4: {u16 length, u16 kind, u64 bus time ns}, then for frames
// (kind 1 heard, 2 sent) {u16 slot, u8 cycle, u8 channels, u8 n words, 3 x 0, data}, for user events {u8 value,
// u8 n, u16 0, data}.
// Requests it cannot serve (short records, unknown handles, instances above 3) get a negative acknowledge with
// kFlexRayRefusal.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/flexray_cluster.hpp"

namespace qor::emulator {

inline constexpr uint32_t kFlexRayRefusal = 0x00200001;
inline constexpr uint16_t kFlexRayReceivedEntry = 1;
inline constexpr uint16_t kFlexRaySentEntry = 2;
inline constexpr uint16_t kFlexRayUserEventEntry = 16;
inline constexpr size_t kFlexRayEntryHeadBytes = 12;
inline constexpr size_t kFlexRayMonitorFrameHeadBytes = 8;

// A monitor entry as the application reads it.
struct FlexRayEntry {
  uint16_t kind = 0;
  uint64_t timeNs = 0;
  std::span<const uint8_t> fields;  // after the head, as long as the entry's length says
};

// Visits the whole entries of monitor data from its start: each holds at least its head and no more than the bytes
// left, the next starts at its length rounded up to 4. False when an entry is malformed or cut: it and what follows
// are not visited.
bool walkFlexRayEntries(std::span<const uint8_t> data, const std::function<void(const FlexRayEntry&)>& visit);

class FlexRayFirmware : public std::enable_shared_from_this<FlexRayFirmware> {
 public:
  struct MonitorFrame {
    uint8_t application;
    Bytes frame;
  };

  // Serves commands 0x20 and 0x21 of the device and attaches the interfaces to the cluster; the device's handlers
  // and the cluster's listeners keep the firmware alive.
  static std::shared_ptr<FlexRayFirmware> attachTo(Device& device, FlexRayCluster& cluster,
                                                   std::vector<uint8_t> interfaces);

  // Entries per monitor frame (1 unless set); a frame goes when it is full or on flush().
  void setEntriesPerFrame(size_t entries);
  void flush();
  // While holding, monitor frames are kept instead of sent: a benchmark sends them itself.
  void holdFrames(bool hold);
  std::vector<MonitorFrame> takeHeldFrames();

  // ---- what the host did ----
  uint32_t monitorFlags(uint8_t interfaceNumber, uint8_t instance) const;
  bool monitorRunning(uint8_t interfaceNumber, uint8_t instance) const;
  // The last filter record after the head; none before any.
  std::optional<Bytes> monitorFilter(uint8_t interfaceNumber, uint8_t instance) const;

 private:
  struct Buffer;
  struct Instance;
  struct Node;

  FlexRayFirmware(Device& device, FlexRayCluster& cluster);
  Reply controller(const ReceivedFrame& frame);
  Reply monitor(const ReceivedFrame& frame);
  void heard(uint8_t interfaceNumber, const FlexRayFrame& frame, uint64_t busTimeNs);
  // Adds the entry to every started instance of the node; full frames go to out.
  void record(Node& node, const Bytes& entry, std::vector<MonitorFrame>& out);
  void takePending(Instance& instance, std::vector<MonitorFrame>& out);
  void send(std::vector<MonitorFrame> frames);
  Node* node(uint8_t interfaceNumber);  // with mutex_ held; none for an interface not attached

  Device& device_;
  FlexRayCluster& cluster_;
  mutable std::mutex mutex_;  // guards what follows; never held while frames go out or the cluster transmits
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
  size_t entriesPerFrame_ = 1;
  bool holding_ = false;
  std::vector<MonitorFrame> held_;
};

}  // namespace qor::emulator
