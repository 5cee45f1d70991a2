// Data longer than one record goes to (or comes from) the firmware in pieces: step(offset, length) for each piece of
// at most `piece` bytes, in order, until one step returns a code. The pieces before a failing one stay done.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qor::kit {

template <class Step>
uint32_t forEachPiece(uint32_t total, uint32_t piece, Step step) {
  if (piece == 0) return total == 0 ? 0 : UINT32_MAX;  // Call::pieceLength never yields 0; guard all the same
  for (uint32_t offset = 0; offset < total;) {
    const uint32_t length = std::min(piece, total - offset);
    if (uint32_t code = step(offset, length)) return code;
    offset += length;
  }
  return 0;
}

}  // namespace qor::kit
