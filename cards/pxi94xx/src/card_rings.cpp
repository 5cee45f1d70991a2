#include "card_rings.hpp"

#include <syslog.h>

#include <algorithm>
#include <cstring>

#include "Pxi94xx.h"
#include "qor_protocol.h"

namespace qor::pxi94xx {

const RingLayout kCommandRing{"command", PXI94XX_COMMAND_RING, PXI94XX_COMMAND_RING_SIZE, PXI94XX_COMMAND_READ_INDEX,
                              PXI94XX_COMMAND_WRITE_INDEX};
const RingLayout kResponseRing{"response", PXI94XX_RESPONSE_RING, PXI94XX_RESPONSE_RING_SIZE,
                               PXI94XX_RESPONSE_READ_INDEX, PXI94XX_RESPONSE_WRITE_INDEX};
const RingLayout kMonitorRing{"monitor", PXI94XX_MONITOR_RING, PXI94XX_MONITOR_RING_SIZE, PXI94XX_MONITOR_READ_INDEX,
                              PXI94XX_MONITOR_WRITE_INDEX};

uint32_t readRegister(volatile uint8_t* bar0, uint32_t offset) {
  return *reinterpret_cast<volatile uint32_t*>(bar0 + offset);
}

void writeRegister(volatile uint8_t* bar0, uint32_t offset, uint32_t value) {
  *reinterpret_cast<volatile uint32_t*>(bar0 + offset) = value;
}

namespace {

struct Indices {
  uint32_t read;
  uint32_t write;
};

bool readIndices(volatile uint8_t* bar0, const RingLayout& ring, Indices* indices) {
  indices->read = readRegister(bar0, ring.readIndex);
  indices->write = readRegister(bar0, ring.writeIndex);
  if (indices->read < ring.dwords() && indices->write < ring.dwords()) return true;
  syslog(LOG_ERR, "Pxi94xx: %s ring indices out of range (read %u, write %u)\n", ring.name, indices->read,
         indices->write);
  return false;
}

uint32_t dwordsFor(uint32_t bytes) { return (bytes + 3) / 4; }

uint32_t ringDword(volatile uint8_t* bar0, const RingLayout& ring, uint32_t index) {
  return readRegister(bar0, ring.data + 4 * index);
}

// Copies length bytes of the frame that starts at dword index, wrapping at the ring end.
void copyOut(volatile uint8_t* bar0, const RingLayout& ring, uint32_t index, uint8_t* target, uint32_t length) {
  for (uint32_t offset = 0; offset < length; offset += 4) {
    const uint32_t word = ringDword(bar0, ring, index);
    std::memcpy(target + offset, &word, std::min<uint32_t>(4, length - offset));
    index = (index + 1) % ring.dwords();
  }
}

// The length of the frame at the read index, or 0 when the ring holds no well-formed frame there.
uint32_t frameLengthAt(volatile uint8_t* bar0, const RingLayout& ring, const Indices& indices) {
  const uint32_t length = ringDword(bar0, ring, indices.read) >> 16;
  const uint32_t waiting = (indices.write + ring.dwords() - indices.read) % ring.dwords();
  if (length >= QOR_FRAME_HEADER_SIZE && dwordsFor(length) <= waiting) return length;
  syslog(LOG_ERR, "Pxi94xx: %s ring holds a frame of %u bytes with %u dwords written; ring emptied\n", ring.name,
         length, waiting);
  return 0;
}

}  // namespace

void discardFrames(volatile uint8_t* bar0, const RingLayout& ring) {
  writeRegister(bar0, ring.readIndex, readRegister(bar0, ring.writeIndex) % ring.dwords());
}

uint32_t writeFrame(volatile uint8_t* bar0, const RingLayout& ring, const uint8_t* frame, uint16_t length) {
  Indices indices;
  if (!readIndices(bar0, ring, &indices)) return PXI94XX_ERROR_BAD_ANSWER;
  const uint32_t free = indices.read > indices.write ? indices.read - indices.write
                                                     : indices.read + ring.dwords() - indices.write;
  const uint32_t needed = dwordsFor(length);
  if (needed + 1 > free) return PXI94XX_ERROR_RING_FULL;
  uint32_t index = indices.write;
  for (uint32_t offset = 0; offset < length; offset += 4) {
    uint32_t word = 0;  // a partial last dword is padded with zero bytes
    std::memcpy(&word, frame + offset, std::min<uint32_t>(4, length - offset));
    writeRegister(bar0, ring.data + 4 * index, word);
    index = (index + 1) % ring.dwords();
  }
  writeRegister(bar0, ring.writeIndex, index);
  return 0;
}

uint32_t readFrame(volatile uint8_t* bar0, const RingLayout& ring, uint8_t* buffer, uint32_t capacity,
                   uint32_t* length) {
  *length = 0;
  Indices indices;
  if (!readIndices(bar0, ring, &indices)) {
    discardFrames(bar0, ring);
    return PXI94XX_ERROR_BAD_ANSWER;
  }
  if (indices.read == indices.write) return 0;
  const uint32_t frameLength = frameLengthAt(bar0, ring, indices);
  if (frameLength == 0) {
    writeRegister(bar0, ring.readIndex, indices.write);
    return PXI94XX_ERROR_BAD_ANSWER;
  }
  if (frameLength > capacity) return PXI94XX_ERROR_BUFFER_TOO_SMALL;
  copyOut(bar0, ring, indices.read, buffer, frameLength);
  writeRegister(bar0, ring.readIndex, (indices.read + dwordsFor(frameLength)) % ring.dwords());
  *length = frameLength;
  return 0;
}

uint32_t readFrames(volatile uint8_t* bar0, const RingLayout& ring, uint8_t* buffer, uint32_t capacity,
                    uint32_t* total, uint32_t* count) {
  *total = 0;
  *count = 0;
  Indices indices;
  if (!readIndices(bar0, ring, &indices)) {
    discardFrames(bar0, ring);
    return PXI94XX_ERROR_BAD_ANSWER;
  }
  // Only the frames written before the walk began: the card may go on writing behind it.
  while (indices.read != indices.write) {
    const uint32_t frameLength = frameLengthAt(bar0, ring, indices);
    if (frameLength == 0) {
      writeRegister(bar0, ring.readIndex, indices.write);
      return PXI94XX_ERROR_BAD_ANSWER;
    }
    if (frameLength > capacity - *total) break;
    copyOut(bar0, ring, indices.read, buffer + *total, frameLength);
    indices.read = (indices.read + dwordsFor(frameLength)) % ring.dwords();
    *total += frameLength;
    ++*count;
  }
  writeRegister(bar0, ring.readIndex, indices.read);
  return 0;
}

}  // namespace qor::pxi94xx
