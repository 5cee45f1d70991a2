// libqor_api_lin's frame: its module, the codes of its own beyond the general ones (texts in the core's table), the
// check that every exported function makes first, and the firmware's time unit.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::lin {

enum LinError : uint16_t {
  kUnknownType = 0x0B,
  kNotEnoughMemory = 0x0C,
  kAsynchronousCommunicationNotEnabled = 0x0D,
  kOperationNotAllowed = 0x0E,
  kInvalidFrameDataLength = 0x101,
  kInvalidSendState = 0x102,
  kInvalidGroupNumber = 0x103,
};

inline constexpr kit::Library kLin{0x05, kNotEnoughMemory};

inline constexpr uint32_t kLinInterfaceType = 5;

// The handle, then the interface type: every exported function's first check.
uint32_t checkLinInterface(const kit::Call& call);

// The firmware counts in ticks of 25 ns; times from the application are in ns, truncated.
inline constexpr uint32_t kNanosecondsPerTick = 25;
constexpr uint32_t ticksOf(uint32_t nanoseconds) { return nanoseconds / kNanosecondsPerTick; }
constexpr uint64_t nanosecondsOf(uint64_t ticks) { return ticks * kNanosecondsPerTick; }

}  // namespace qor::lin
