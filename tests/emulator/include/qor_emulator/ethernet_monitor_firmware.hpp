// The firmware's Ethernet monitor as an emulated device runs it on Ethernet interfaces attached to an emulated link:
// every frame a node hears while its monitor runs becomes a monitor item with the link time as its time stamp.
//
// Command 0x50: requests and answers begin with the u32 sub-function, answers repeat it.
//   sub  request after it                          answer after it
//   0    configure: u32 flags (bits 0 to 3)        -
//   1    start                                     -
//   2    stop                                      -
//   3    read data                                 u16 item count, u16 0, the items
//   4    time                                      u32 flag (1 while started), u64 start ns, u64 now ns
//   5    user event: u8 event, 0, u8 n, 0, n bytes -
//   6    property set: u16 id (0 to 2), u16 0, u32 value
//   7    property get: u16 id, u16 0               u32 0, u32 value
//   8    stop, as the host's monitor closes it: the request is {8, instance, u16 0} with two control bytes
// Items: u16 item bytes (12 + frame bytes), u16 0, u64 time stamp ns, the frame.
// Configuration flag bit 3 (items to the host): the items go at once to the application that started the monitor,
// in frames of command 0x50 whose data are a read's answer {u32 3, u16 count, u16 0, items}; otherwise they wait
// in the firmware for reads. A read answer or frame to the host holds the oldest items that fit into 4000 bytes.
//
// Requests it cannot serve (a short record, an unknown sub-function or property) get a negative acknowledge with
// kEthernetMonitorRefusal.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/ethernet_link.hpp"

namespace qor::emulator {

inline constexpr uint32_t kEthernetMonitorRefusal = 0x00500002;

class EthernetMonitorFirmware : public std::enable_shared_from_this<EthernetMonitorFirmware> {
 public:
  // Serves command 0x50 of the device and listens on the link on the given Ethernet interfaces (each attached to
  // the link); the device's handler and the link's listeners keep the firmware alive.
  static std::shared_ptr<EthernetMonitorFirmware> attachTo(Device& device, EthernetLink& link,
                                                           std::vector<uint8_t> interfaces);

  // Items per frame sent to the host (1 unless set); a frame goes when it is full or on flush().
  void setItemsPerFrame(size_t items);
  void flush();
  // Items that wait in the firmware for a read.
  size_t storedItems(uint8_t interfaceNumber) const;

 private:
  struct Node;
  struct Outgoing {
    uint8_t application;
    Bytes frame;
  };

  EthernetMonitorFirmware(Device& device, EthernetLink& link);
  Reply answer(const ReceivedFrame& frame);
  void heard(uint8_t interfaceNumber, std::span<const uint8_t> frame, uint64_t linkTimeNs);
  void takePending(Node& node, std::vector<Outgoing>& out);
  void send(std::vector<Outgoing> frames);

  Device& device_;
  EthernetLink& link_;
  mutable std::mutex mutex_;  // guards what follows; never held while frames go out
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
  size_t itemsPerFrame_ = 1;
};

}  // namespace qor::emulator
