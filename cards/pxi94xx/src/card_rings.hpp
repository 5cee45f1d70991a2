// The three rings of a card's BAR0. Indices and frame lengths come from card memory: every one is checked against
// the ring before it is used, and a ring found inconsistent is emptied (read index := write index).
#pragma once

#include <cstdint>

namespace qor::pxi94xx {

struct RingLayout {
  const char* name;
  uint32_t data;        // byte offset in BAR0
  uint32_t size;        // bytes
  uint32_t readIndex;   // offset of the dword read index
  uint32_t writeIndex;  // offset of the dword write index
  uint32_t dwords() const { return size / 4; }
};

extern const RingLayout kCommandRing;
extern const RingLayout kResponseRing;
extern const RingLayout kMonitorRing;

// Writes one frame and advances the write index; PXI94XX_ERROR_RING_FULL when it does not fit with one dword to
// spare (a full ring never looks empty).
uint32_t writeFrame(volatile uint8_t* bar0, const RingLayout& ring, const uint8_t* frame, uint16_t length);

// Reads the next frame into buffer (capacity bytes); length 0 when none waits. A frame larger than the capacity is
// PXI94XX_ERROR_BUFFER_TOO_SMALL and stays in the ring.
uint32_t readFrame(volatile uint8_t* bar0, const RingLayout& ring, uint8_t* buffer, uint32_t capacity,
                   uint32_t* length);

// Reads every frame waiting, back to back, up to the capacity; frames that do not fit stay in the ring.
uint32_t readFrames(volatile uint8_t* bar0, const RingLayout& ring, uint8_t* buffer, uint32_t capacity,
                    uint32_t* total, uint32_t* count);

// Drops whatever waits in the ring.
void discardFrames(volatile uint8_t* bar0, const RingLayout& ring);

uint32_t readRegister(volatile uint8_t* bar0, uint32_t offset);
void writeRegister(volatile uint8_t* bar0, uint32_t offset, uint32_t value);

}  // namespace qor::pxi94xx
