// The node functions' mode argument: a number up to the highest the firmware knows.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::can {

inline uint32_t checkMode(const kit::Call& call, uint8_t mode, uint8_t highest) {
  return mode > highest ? call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknown", unsigned{mode}) : 0;
}

}  // namespace qor::can
