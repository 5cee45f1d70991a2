// libqor_api_most's frame: its module, the codes of its own beyond the general ones (texts in the core's table) and
// the check that every exported function makes first.
#pragma once

#include <cstddef>
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

// An answer shorter than the record that the call reads: "invalid response length" with the bytes received.
uint32_t shortAnswer(const kit::Call& call, size_t received);
// Data of length bytes behind a head of headBytes must fit into one record of the port's maximum parameter length and
// stay within maximum: "invalid data length" with the length. The core's code when it cannot tell the length.
uint32_t checkDataLength(const kit::Call& call, uint32_t headBytes, uint32_t length, uint32_t maximum);
// Operation types of MOST messages are 4 bits wide: "unknown operation type" with the value.
uint32_t checkOperationType(const kit::Call& call, uint8_t operationType);
// The firmware's status through the status translation: an unknown one becomes 1 and fails the call.
uint32_t translateStatus(const kit::Call& call, uint32_t firmwareStatus, uint32_t* status);

}  // namespace qor::most
