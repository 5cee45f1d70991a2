// libqor_api_flexray's frame: its module, its firmware command and the check that every exported function makes
// first. Its codes and texts are in the core's table.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

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

}  // namespace qor::flexray
