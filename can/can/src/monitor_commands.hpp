// The firmware's CAN monitor commands. Command 0x50 takes records that begin {u8 sub-function, u8 instance, u16 0},
// with the sub-function as the one control byte its answer repeats.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::can {

inline constexpr uint8_t kMonitorCommand = 0x50;
inline constexpr uint8_t kMonitorFilterCommand = 0x52;
inline constexpr uint8_t kListModeCommand = 0x54;
inline constexpr uint8_t kListItemCommand = 0xF2;

enum MonitorSubFunction : uint8_t {
  kMonitorTime32 = 1,
  kWriteUserEvent = 6,
  kStopAsynchronous = 7,
  kConfigure32 = 8,
  kConfigure64 = 9,
  kStart = 12,
  kReadItems64 = 14,
  kReadLargeItems = 15,
  kReadItems32 = 16,
  kMonitorTime64 = 19,
};

// Firmware of this parameter width sends compact items; any other width (64) sends API items.
inline constexpr uint32_t kNarrowWidth = 32;
// Buffer modes 0 to 7 of the starters: the start flags that only choose the firmware's option bits.
inline constexpr uint8_t kHighestBufferMode = 7;

// The port's parameter width, 32 or 64 (port property 6); the core's code on failure.
uint32_t parameterWidth(const kit::Call& call, uint32_t* width);

// A record of command 0x50: the head {sub-function, instance, u16 0}, then what the caller adds.
kit::RecordWriter monitorRecord(uint8_t subFunction, uint8_t instance, size_t capacity = 4);

// Command 0x50 with its answer.
uint32_t monitorExchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer);
// Command 0x50 with the bare head; the answer is not looked at.
uint32_t monitorCommand(const kit::Call& call, uint8_t subFunction, uint8_t instance);

}  // namespace qor::can
