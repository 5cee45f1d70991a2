// What the card libraries' tests and fuzz targets build their input from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qor_protocol.h"

namespace qor::cards::test {

// A command frame: kind 2, controller and interface 1, the card number at byte 10, the command byte at 11,
// parameters after the header.
inline std::vector<uint8_t> commandFrame(uint8_t card, uint8_t command, size_t length) {
  std::vector<uint8_t> frame(length);
  frame[0] = QOR_FRAME_MARKER;
  frame[1] = QOR_REQUEST_NO_ACKNOWLEDGE;
  const auto length16 = static_cast<uint16_t>(length);
  std::memcpy(frame.data() + 2, &length16, 2);
  frame[4] = 1;
  frame[5] = 1;
  frame[10] = card;
  frame[11] = command;
  for (size_t i = 12; i < length; ++i) frame[i] = static_cast<uint8_t>(i * 7);
  return frame;
}

// The next little-endian word of a fuzz input, as much of it as is left.
inline uint32_t takeWord(const uint8_t*& data, size_t& size) {
  uint32_t value = 0;
  const size_t taken = size < 4 ? size : 4;
  std::memcpy(&value, data, taken);
  data += taken;
  size -= taken;
  return value;
}

}  // namespace qor::cards::test
