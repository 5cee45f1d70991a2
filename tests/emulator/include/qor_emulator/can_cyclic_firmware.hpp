// The firmware's table of cyclic CAN messages as an emulated device runs it: every started message goes out on the
// emulated CAN bus from its interface (the frame's TPort) once at its start and then every cycle time, on the
// firmware's own clock. A test hears it with a listener of the other node:
//
//   CanBus bus;
//   bus.attach(*device_, 1);
//   bus.attach(*device_, 2);
//   auto firmware = CanCyclicFirmware::attachTo(*device_, bus);
//   bus.listen(*device_, 2, [&](const CanFrame& frame, uint64_t busTimeNs) { ... });
//
//   command  record (after the frame header)                     effect
//   0x22     u32 id, u16 cycle ms, u8 send state, u8 group,       defines (or redefines) it; it starts sending at
//            u8 option, u8 DLC, data                              once with send state 1
//   0x2A     u32 id                                               deletes it
//   0x2E     u8 change flags, 3 x 0, u32 id, u8 send state,       applies the flagged sections: bits 0 to 3 as
//            u8 group, u8 option, u8 DLC, data section from 12,   defined, 4 data bytes 0 to 7 and 6 bytes 8 and up
//            cycle section from 40, further data at 52 (at 40     where the mask has bits set; the data flags,
//            without the cycle section)                           message count and cycle section are not acted on
//   0x23     u32 id, u8 group                                     moves it to the group
//   0x27     u32 id, u16 cycle ms                                 its next frame one new cycle after the last
//   0x28/29  -                                                    starts / stops every message of group 1
//   0xF8     u32 id, u32 0                                        answers u32 id, u16 cycle, u8 send state, u8 group,
//                                                                 u8 option, u8 DLC, u16 0, data[64]
// A cycle time of 0 sends nothing. Commands of kind 1 get their acknowledge; unknown identifiers and short records a
// negative acknowledge with kCanCyclicRefusal. Expected requests of the device's request table come first, so a test
// may state some commands byte-exact and leave the others to the firmware.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/device.hpp"

namespace qor::emulator {

inline constexpr uint32_t kCanCyclicRefusal = 0x00220001;

class CanCyclicFirmware : public std::enable_shared_from_this<CanCyclicFirmware> {
 public:
  // Answers the commands above for every interface of the device from now on; sends until the firmware goes.
  static std::shared_ptr<CanCyclicFirmware> attachTo(Device& device, CanBus& bus);
  ~CanCyclicFirmware();

  CanCyclicFirmware(const CanCyclicFirmware&) = delete;
  CanCyclicFirmware& operator=(const CanCyclicFirmware&) = delete;

 private:
  using Clock = std::chrono::steady_clock;
  using Key = std::pair<uint8_t, uint32_t>;  // interface, identifier
  struct Message {
    uint16_t cycleMs = 0;
    bool sending = false;
    uint8_t group = 0;
    uint8_t option = 0;
    uint8_t dlc = 0;
    std::array<uint8_t, 64> data{};
    Clock::time_point next;  // of the next frame while sending
  };

  CanCyclicFirmware(const Device& device, CanBus& bus);
  Reply answer(const ReceivedFrame& frame);
  // The effect of one command; false when it is refused.
  bool apply(uint8_t interfaceNumber, uint8_t command, std::span<const uint8_t> record, Bytes* response);
  bool change(uint8_t interfaceNumber, std::span<const uint8_t> record);
  void switchGroup(uint8_t interfaceNumber, bool sending);
  void run();

  const Device& device_;
  CanBus& bus_;
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_;
  std::map<Key, Message> messages_;
  bool stopping_ = false;
  std::thread clock_;
};

}  // namespace qor::emulator
