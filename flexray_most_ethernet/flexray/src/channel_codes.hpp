// Channel codes: 0 to QOR_FLEXRAY_MAX_CHANNEL, the same in the caller's and the firmware's records.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::flexray {

// A caller's channel: "invalid parameter" naming it when out of range.
uint32_t checkChannel(const kit::Call& call, uint8_t channel);

}  // namespace qor::flexray
