#include "card_rings.hpp"

#include <syslog.h>

#include <algorithm>

#include "QorPxi95xx_API.h"
#include "driver_access.hpp"
#include "qor_protocol.h"

namespace qor::pxi95xx {
namespace {

constexpr uint32_t kIndexMask = QORPXI95XX_RING_DWORDS - 1;
constexpr uint32_t kHeaderBytes = sizeof(FirmwareMessageHeader);

// Moves length bytes at byte offset `offset` of the ring, in two transfers when they cross the ring end.
template <typename Transfer, typename Bytes>
int32_t transferAround(const RingState& ring, uint32_t offset, Bytes* data, uint32_t length, Transfer transfer) {
  const uint32_t room = QORPXI95XX_RING_SIZE - offset;
  const uint32_t first = std::min(length, room);
  if (const int32_t code = transfer(ring.base + offset, data, first)) return code;
  if (first == length) return 0;
  return transfer(ring.base, data + first, length - first);
}

}  // namespace

int32_t writeFrame(int file, const RingState& ring, const uint8_t* frame, uint32_t length, uint32_t* newWrite) {
  const uint32_t write = ring.write & kIndexMask;
  const uint32_t read = ring.read & kIndexMask;
  const uint32_t free = write < read ? read - write : QORPXI95XX_RING_DWORDS - write + read;
  const uint32_t needed = frameDwords(length);
  if (needed + 1 > free) return QORPXI95XX_ERROR_RING_FULL;
  const int32_t code = transferAround(ring, write * 4, frame, length, [file](uint32_t address, const uint8_t* data,
                                                                             uint32_t bytes) {
    return writeCard(file, address, data, bytes);
  });
  if (code != 0) return code;
  *newWrite = (write + needed) & kIndexMask;
  return 0;
}

int32_t readFrame(int file, const RingState& ring, uint8_t* buffer, uint32_t capacity, uint32_t* length,
                  uint32_t* newRead) {
  const uint32_t read = ring.read & kIndexMask;
  const uint32_t write = ring.write & kIndexMask;
  *length = 0;
  *newRead = read;
  if (read == write) return 0;
  const auto readAt = [file](uint32_t address, uint8_t* data, uint32_t bytes) {
    return readCard(file, address, data, bytes);
  };
  FirmwareMessageHeader header{};
  auto* headerBytes = reinterpret_cast<uint8_t*>(&header);
  if (const int32_t code = transferAround(ring, read * 4, headerBytes, kHeaderBytes, readAt)) return code;
  const uint32_t waiting = (write - read) & kIndexMask;
  const uint32_t frameLength = header.length;
  if (header.marker != QOR_FRAME_MARKER || frameLength < kHeaderBytes || frameDwords(frameLength) > waiting) {
    syslog(LOG_WARNING, "Pxi95xx response ring inconsistent at %u (length %u): dropped up to %u\n", read,
           frameLength, write);
    *newRead = write;
    return QORPXI95XX_ERROR_LENGTH;
  }
  if (frameLength > capacity) return QORPXI95XX_ERROR_LENGTH;
  std::copy_n(headerBytes, kHeaderBytes, buffer);
  if (frameLength > kHeaderBytes) {
    const uint32_t bodyOffset = (read * 4 + kHeaderBytes) % QORPXI95XX_RING_SIZE;
    if (const int32_t code = transferAround(ring, bodyOffset, buffer + kHeaderBytes, frameLength - kHeaderBytes,
                                            readAt)) {
      return code;
    }
  }
  *length = frameLength;
  *newRead = (read + frameDwords(frameLength)) & kIndexMask;
  return 0;
}

}  // namespace qor::pxi95xx
