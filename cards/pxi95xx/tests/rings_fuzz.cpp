// Card memory as a hostile card may leave it: the input sets the response ring's indices, the reader's capacity and
// the ring contents from the read index on. Every read must stay inside the reader's buffer, leave the read index
// inside the ring and end.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "QorPxi95xx_API.h"
#include "card_rings.hpp"
#include "card_test_frames.hpp"

using namespace qor::pxi95xx;
using qor::cards::test::takeWord;

namespace {

int cardMemory() {
  static const int file = [] {
    const int created = memfd_create("card_memory", MFD_CLOEXEC);
    if (created < 0 || ftruncate(created, QORPXI95XX_RING_SIZE) != 0) __builtin_trap();
    return created;
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int file = cardMemory();
  const uint32_t read = takeWord(data, size);
  const uint32_t write = takeWord(data, size);
  const uint32_t capacity = takeWord(data, size) % 0x10001;
  const uint32_t start = (read % QORPXI95XX_RING_DWORDS) * 4;
  for (size_t i = 0; i < size && i < QORPXI95XX_RING_SIZE; ++i) {
    if (pwrite(file, data + i, 1, (start + i) % QORPXI95XX_RING_SIZE) != 1) __builtin_trap();
  }
  std::vector<uint8_t> buffer(capacity);
  uint32_t length = 0, newRead = 0;
  readFrame(file, RingState{0, read, write}, buffer.data(), capacity, &length, &newRead);
  if (length > capacity || newRead >= QORPXI95XX_RING_DWORDS) __builtin_trap();
  return 0;
}
