// Card memory as a hostile card may leave it: the input sets a ring's indices, the reader's capacity and the ring
// contents from the read index on. Every read must stay inside the ring and the reader's buffer, and end.
#include <cstring>
#include <vector>

#include "Pxi94xx.h"
#include "card_rings.hpp"
#include "card_test_frames.hpp"

using namespace qor::pxi94xx;

using qor::cards::test::takeWord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> bar0(PXI94XX_BAR0_SIZE);
  const RingLayout& ring = size > 0 && (data[0] & 1) ? kMonitorRing : kResponseRing;
  const uint32_t read = takeWord(data, size);
  const uint32_t write = takeWord(data, size);
  const uint32_t capacity = takeWord(data, size) % 0x10001;
  std::memcpy(bar0.data() + ring.readIndex, &read, 4);
  std::memcpy(bar0.data() + ring.writeIndex, &write, 4);
  // The contents from the read index on, wrapping at the ring end.
  for (size_t i = 0; i < size; ++i) {
    bar0[ring.data + ((read % ring.dwords()) * 4 + i) % ring.size] = data[i];
  }

  std::vector<uint8_t> buffer(capacity);
  uint32_t length = 0;
  readFrame(bar0.data(), ring, buffer.data(), capacity, &length);
  if (length > capacity) __builtin_trap();
  std::memcpy(bar0.data() + ring.readIndex, &read, 4);
  uint32_t total = 0, count = 0;
  readFrames(bar0.data(), ring, buffer.data(), capacity, &total, &count);
  if (total > capacity) __builtin_trap();
  uint32_t after = 0;
  std::memcpy(&after, bar0.data() + ring.readIndex, 4);
  if (after >= ring.dwords()) __builtin_trap();
  return 0;
}
