// Starting a buffer-mode monitor on the port's current instance: the core's instance set up for the firmware's
// item format, the reader entered, then the firmware configured and started.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::can {

// flags: start flags; bufferSize: bytes of the host's ring; slots: room of the large-item ring.
uint32_t startBufferMode(const kit::Call& call, uint32_t flags, uint32_t bufferSize, uint32_t slots);

// The firmware's configuration record (sub-function 8 for width 32, else 9) and the start; on failure the instance
// is closed again.
uint32_t configureAndStart(const kit::Call& call, uint32_t width, uint8_t instance, uint8_t optionBits,
                           uint8_t modeBits);

}  // namespace qor::can
