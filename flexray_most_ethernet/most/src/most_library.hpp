// libqor_api_most's frame: its module, the codes of its own beyond the general ones (texts in the core's table) and
// the check that every exported function makes first.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::most {

enum MostError : uint16_t {
  kInconsistentResponse = 0x0B,
  kNotEnoughMemory = 0x0C,
  kUnknownOperationType = 0x101,
  kAmsUnknownMessageType = 0x201,
  kAmsNoFreeChannel = 0x202,
  kRbdInvalidLevel = 0x301,
  kRbdInvalidState = 0x302,
  kTpUnknownApplicationType = 0x401,
  kTpNoFreeChannel = 0x402,
  kMonitorNotInitialized = 0x501,
};

inline constexpr kit::Library kMost{0x04, kNotEnoughMemory};

inline constexpr uint32_t kMostInterfaceType = 7;

// The handle, then the interface type: every exported function's first check.
uint32_t checkMostInterface(const kit::Call& call);

// "invalid response length" with the received length alone as its text.
uint32_t refuseShortAnswer(const kit::Call& call, const kit::AnswerReader& answer);

}  // namespace qor::most
