// The 95xx card path's ring traffic per frame: one frame written into a ring in card memory and read back through
// the channel file (seek plus write or read at card addresses, as the driver's addressed mode has it), against
// the floor of copying the same bytes into a ring in memory and out again, in alternating blocks of one run.
// Every frame read back is checked.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "QorPxi95xx_API.h"
#include "bench_support.hpp"
#include "card_rings.hpp"
#include "qor_protocol.h"

namespace {

using namespace qor::bench;
using namespace qor::pxi95xx;

constexpr int kBlocks = 20;
constexpr int kRoundsPerBlock = 2000;

struct Ring {
  uint32_t read = 0, write = 0;
};

std::vector<uint8_t> frameOf(size_t length, uint64_t serial) {
  std::vector<uint8_t> frame(length);
  fillPattern(frame, serial);
  frame[0] = QOR_FRAME_MARKER;
  const auto length16 = static_cast<uint16_t>(length);
  std::memcpy(frame.data() + 2, &length16, 2);
  return frame;
}

bool cardRound(int file, Ring& ring, std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer) {
  uint32_t write = 0, read = 0, length = 0;
  if (writeFrame(file, RingState{0, ring.read, ring.write}, frame.data(), static_cast<uint32_t>(frame.size()),
                 &write) != 0 ||
      readFrame(file, RingState{0, ring.read, write}, buffer.data(), static_cast<uint32_t>(buffer.size()), &length,
                &read) != 0) {
    return false;
  }
  ring = {read, write};
  return length == frame.size() && std::memcmp(buffer.data(), frame.data(), length) == 0;
}

// The same bytes into a memory ring and out again, split at its end in the same way.
bool memoryRound(std::vector<uint8_t>& memory, Ring& ring, std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer) {
  const size_t offset = ring.write * 4ull;
  const size_t first = std::min(frame.size(), memory.size() - offset);
  std::memcpy(memory.data() + offset, frame.data(), first);
  std::memcpy(memory.data(), frame.data() + first, frame.size() - first);
  std::memcpy(buffer.data(), memory.data() + offset, first);
  std::memcpy(buffer.data() + first, memory.data(), frame.size() - first);
  ring.write = (ring.write + frameDwords(static_cast<uint32_t>(frame.size()))) % QORPXI95XX_RING_DWORDS;
  ring.read = ring.write;
  return std::memcmp(buffer.data(), frame.data(), frame.size()) == 0;
}

}  // namespace

int main() {
  const int file = memfd_create("card_memory", MFD_CLOEXEC);
  if (file < 0 || ftruncate(file, QORPXI95XX_RING_SIZE) != 0) return 1;
  std::vector<uint8_t> memory(QORPXI95XX_RING_SIZE);
  std::vector<uint8_t> buffer(QOR_FRAME_MAX_LENGTH);
  int failures = 0;
  for (const size_t length : {24u, 256u, 4096u}) {
    Ring cardRing, memoryRing;
    std::vector<double> floorSamples, cardSamples;
    uint64_t serial = 0;
    for (int block = 0; block < kBlocks; ++block) {
      for (int i = 0; i < kRoundsPerBlock; ++i) {
        std::vector<uint8_t> frame = frameOf(length, ++serial);
        const auto start = Clock::now();
        if (!memoryRound(memory, memoryRing, frame, buffer)) ++failures;
        floorSamples.push_back(microseconds(Clock::now() - start));
      }
      for (int i = 0; i < kRoundsPerBlock; ++i) {
        std::vector<uint8_t> frame = frameOf(length, ++serial);
        const auto start = Clock::now();
        if (!cardRound(file, cardRing, frame, buffer)) ++failures;
        cardSamples.push_back(microseconds(Clock::now() - start));
      }
    }
    const Latencies floorTimes = summarise(floorSamples);
    const Latencies card = summarise(cardSamples);
    std::printf("95xx ring frame written and read back, %zu bytes (%d blocks of %d)\n", length, kBlocks,
                kRoundsPerBlock);
    std::printf("  floor (copies in memory)   median %8.2f us   p99 %8.2f us\n", floorTimes.median, floorTimes.p99);
    std::printf("  through the channel file   median %8.2f us   p99 %8.2f us\n", card.median, card.p99);
    std::printf("  ratio to floor             median %8.1f x    p99 %8.1f x\n", card.median / floorTimes.median,
                card.p99 / floorTimes.p99);
  }
  std::printf("failures %d\n", failures);
  close(file);
  return failures == 0 ? 0 : 1;
}
