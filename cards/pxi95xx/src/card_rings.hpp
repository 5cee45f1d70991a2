// The command and response rings in card memory, reached through a channel file at card addresses. Indices count
// dwords from the ring start; the card's indices are untrusted and taken modulo the ring before use.
#pragma once

#include <cstdint>

namespace qor::pxi95xx {

struct RingState {
  uint32_t base;   // card address of the ring
  uint32_t read;   // dword indices
  uint32_t write;
};

// Dwords a frame of length bytes takes.
constexpr uint32_t frameDwords(uint32_t length) { return (length + 3) / 4; }

// Writes one frame at the write index, split at the ring end, and gives the new write index. -8 when it does not
// fit with one dword to spare (a full ring never looks empty); errno when a transfer failed (the index stays).
int32_t writeFrame(int file, const RingState& ring, const uint8_t* frame, uint32_t length, uint32_t* newWrite);

// Reads the frame at the read index into buffer (capacity bytes) and gives its length and the new read index;
// length 0 when the ring is empty. -3 for a frame larger than the capacity (it stays in the ring) and for a ring
// found inconsistent: no frame marker, a length below 12 or one beyond the dwords written; *newRead is then the
// write index, so the ring starts afresh with the card's next frame. errno when a transfer failed.
int32_t readFrame(int file, const RingState& ring, uint8_t* buffer, uint32_t capacity, uint32_t* length,
                  uint32_t* newRead);

}  // namespace qor::pxi95xx
