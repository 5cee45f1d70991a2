// The firmware's Ethernet receive FIFOs as an emulated device runs them on Ethernet interfaces attached to an
// emulated link: every frame a node hears goes into each of the node's FIFOs, cut into fragments, and waits there
// for the host's reads.
//
// Command 0x27: requests and answers begin with the u32 sub-function, answers repeat it.
//   sub  request after it                                      answer after it
//   0    configure: u32 flag, u32 value 1 to 3, u16 value 4,   u32 FIFO identifier (1, 2, ... per node)
//        u16 0
//   1    delete: u32 flag (bit 0: all of the node's), u32 id    -
//   2    read: u32 id, u32 0                                    u32 fragments, u32 backlog, the fragments
// Value 4 is the largest fragment's data bytes (0: a frame in one fragment); the other values are not used. A read
// answer holds the oldest fragments that fit into its room (setAnswerRoom); the backlog counts the ones left.
// Fragments: u16 data length, u8 0, u8 flags (bit 0: the frame continues in the next fragment), the data.
//
// Requests it cannot serve (a short record, an unknown sub-function or FIFO, a node not on the link) get a negative
// acknowledge with kEthernetRxFifoRefusal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "qor_emulator/device.hpp"
#include "qor_emulator/ethernet_link.hpp"

namespace qor::emulator {

inline constexpr uint32_t kEthernetRxFifoRefusal = 0x00270001;

class EthernetRxFifoFirmware : public std::enable_shared_from_this<EthernetRxFifoFirmware> {
 public:
  // Serves command 0x27 of the device and listens on the link on the given Ethernet interfaces (each attached to
  // the link); the device's handler and the link's listeners keep the firmware alive.
  static std::shared_ptr<EthernetRxFifoFirmware> attachTo(Device& device, EthernetLink& link,
                                                          std::vector<uint8_t> interfaces);

  // Bytes of fragments one read answer carries at most (4000 unless set; at least one fragment goes).
  void setAnswerRoom(size_t bytes);
  // Fragments waiting in the FIFO.
  size_t waitingFragments(uint8_t interfaceNumber, uint32_t fifoId) const;

 private:
  struct Fifo;
  struct Node;

  EthernetRxFifoFirmware() = default;
  Reply answer(const ReceivedFrame& frame);
  void heard(uint8_t interfaceNumber, std::span<const uint8_t> frame);

  mutable std::mutex mutex_;  // guards what follows
  std::map<uint8_t, std::unique_ptr<Node>> nodes_;
  size_t answerRoom_ = 4000;
};

}  // namespace qor::emulator
