// The small records that several LIN commands share.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::lin {

// A command whose record is one u32 (a baud rate, a time in ticks).
uint32_t sendWord(const kit::Call& call, uint8_t command, uint32_t value);
// A command whose record is {u8 value, u8 0, u8 0, u8 0}: a frame id or a schedule table number.
uint32_t sendByteRecord(const kit::Call& call, uint8_t command, uint8_t value);

}  // namespace qor::lin
