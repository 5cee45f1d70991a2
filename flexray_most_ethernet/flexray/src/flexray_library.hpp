// libqor_api_flexray's frame: its module, its firmware command and the check that every exported function makes
// first. Its codes and texts are in the core's table.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {

inline constexpr uint16_t kUnknownType = 0x0B;
inline constexpr uint16_t kNotEnoughMemory = 0x0C;

inline constexpr kit::Library kFlexRay{0x07, kNotEnoughMemory};

inline constexpr uint32_t kFlexRayInterfaceType = 9;

// Command 0x20: every record starts with a u32 sub-function, sent with one control byte so that the answer is
// matched on the sub-function's low byte.
inline constexpr uint8_t kControllerCommand = 0x20;
inline constexpr uint8_t kControllerControlBytes = 1;
inline constexpr uint32_t kControllerAnswerCapacity = 272;

// The handle, then the interface type: every exported function's first check.
uint32_t checkFlexRayInterface(const kit::Call& call);

// The interface, then a caller's record and its flags: where most functions' checks begin.
template <class Record>
uint32_t checkRecord(const kit::Call& call, const Record* record, const char* name, uint32_t allowedFlags) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(record, name)) return code;
  return call.checkFlags(record->flags, allowedFlags);
}

// A command 0x20 record whose answer carries nothing more than its acknowledgement.
uint32_t exchangeController(const kit::Call& call, const kit::RecordWriter& record);
// A command 0x20 record whose answer the caller reads.
uint32_t exchangeController(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer);

// Channel codes 0 to 3 travel unchanged both ways; any other from the caller is "invalid parameter", from the
// firmware "invalid response parameter".
uint32_t checkChannel(const kit::Call& call, uint8_t channel);
uint32_t checkFirmwareChannel(const kit::Call& call, uint8_t channel);

}  // namespace qor::flexray
