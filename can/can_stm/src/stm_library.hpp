// libqor_api_can_stm's frame: its module, its three codes (texts in the core's table) and the checks that every
// exported function makes. The module has no "invalid response length" of its own; an answer too short for what is
// read of it gives "invalid parameter", whose number it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::can_stm {

enum StmError : uint16_t {
  kInvalidInterfaceType = 0x01,
  kUnknownFlag = 0x02,
  kInvalidParameter = 0x03,
};

inline constexpr kit::Library kStm{0x15};

inline constexpr uint32_t kStmInterfaceType = 16;

// The firmware commands (the sub-function, first in the record, is their one control byte) and the node's answer
// capacity.
inline constexpr uint8_t kNodeCommand = 0x20;
inline constexpr uint8_t kDisturbanceCommand = 0x21;
inline constexpr uint8_t kTriggerCommand = 0x22;
inline constexpr uint32_t kNodeAnswerCapacity = 36;

// The handle, then the interface type: every exported function's first check.
uint32_t checkStmInterface(const kit::Call& call);

// "unknown flag" with an empty text.
uint32_t unknownFlag(const kit::Call& call);

// "invalid parameter" naming a pointer the caller did not give.
uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name);

// "invalid parameter" with the text.
uint32_t invalidParameter(const kit::Call& call, const char* text);

// Reserved bytes of a caller's record: "invalid parameter", "reserved bytes have to be zero".
uint32_t checkReserved(const kit::Call& call, const void* reserved, size_t length);

// A property id above the highest the record takes: "invalid parameter", "property ID is unknown".
uint32_t checkPropertyId(const kit::Call& call, uint32_t property, uint32_t highest);

}  // namespace qor::can_stm
