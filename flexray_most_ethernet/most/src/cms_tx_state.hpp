// The control-message transmitter's state (command 0x22, selector 1), which sending a message waits on.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::most {

inline constexpr uint8_t kCmsCommand = 0x22;

// status through the status translation; busy (0 or 1) only when the status is known. No interface check.
uint32_t readCmsTxState(const kit::Call& call, uint32_t* status, uint32_t* busy);

}  // namespace qor::most
