// The ring arithmetic over a card memory file with no card behind it: room with one dword to spare, frames split at
// the ring end, and what an inconsistent or unreadable ring gives.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "QorPxi95xx_API.h"
#include "card_rings.hpp"
#include "qor_protocol.h"

namespace qor::pxi95xx::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes frameOf(size_t length, uint8_t fill = 0x5A) {
  Bytes frame(length, fill);
  frame[0] = QOR_FRAME_MARKER;
  const auto length16 = static_cast<uint16_t>(length);
  std::memcpy(frame.data() + 2, &length16, 2);
  return frame;
}

Bytes withLength(Bytes frame, uint16_t length) {
  std::memcpy(frame.data() + 2, &length, 2);
  return frame;
}

class RingParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = memfd_create("card_memory", MFD_CLOEXEC);
    ASSERT_GE(file_, 0);
    ASSERT_EQ(ftruncate(file_, kBase + QORPXI95XX_RING_SIZE), 0);
  }
  void TearDown() override { close(file_); }

  void putAt(uint32_t dword, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint32_t address = kBase + (dword * 4 + i) % QORPXI95XX_RING_SIZE;
      ASSERT_EQ(pwrite(file_, &bytes[i], 1, address), 1);
    }
  }
  Bytes getAt(uint32_t dword, size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) {
      EXPECT_EQ(pread(file_, &bytes[i], 1, kBase + (dword * 4 + i) % QORPXI95XX_RING_SIZE), 1);
    }
    return bytes;
  }

  static constexpr uint32_t kBase = 0x1000;
  int file_ = -1;
};

TEST_F(RingParserTest, CommandRingKeepsOneDwordFree) {
  struct Case {
    uint32_t write, read, length;
    int32_t result;
  };
  const uint32_t last = QORPXI95XX_RING_DWORDS - 1;
  for (const Case& c : {Case{100, 104, 12, 0}, Case{100, 104, 13, QORPXI95XX_ERROR_RING_FULL},
                        Case{last - 1, 2, 12, 0},  // free space counts around the ring end: 2 + 2 dwords
                        Case{last - 1, 2, 13, QORPXI95XX_ERROR_RING_FULL}, Case{7, 7, 4 * last, 0},
                        Case{7, 7, 4 * last + 1, QORPXI95XX_ERROR_RING_FULL}}) {
    SCOPED_TRACE(testing::Message() << c.write << " " << c.read << " " << c.length);
    const Bytes frame = frameOf(c.length);
    uint32_t write = 0xDEAD;
    EXPECT_EQ(writeFrame(file_, RingState{kBase, c.read, c.write}, frame.data(), c.length, &write), c.result);
    const uint32_t expected = c.result == 0 ? (c.write + frameDwords(c.length)) % QORPXI95XX_RING_DWORDS : 0xDEAD;
    EXPECT_EQ(write, expected) << "a refused frame leaves the index";
  }
}

TEST_F(RingParserTest, FramesSplitAtTheRingEnd) {
  for (const uint32_t before : {1u, 2u, 3u}) {
    SCOPED_TRACE(before);
    const uint32_t start = QORPXI95XX_RING_DWORDS - before;
    const Bytes frame = frameOf(37, static_cast<uint8_t>(before));
    uint32_t write = 0;
    ASSERT_EQ(writeFrame(file_, RingState{kBase, 0x100, start}, frame.data(), 37, &write), 0);
    EXPECT_EQ(write, frameDwords(37) - before);
    EXPECT_EQ(getAt(start, 37), frame);

    Bytes buffer(64);
    uint32_t length = 0, read = 0;
    ASSERT_EQ(readFrame(file_, RingState{kBase, start, write}, buffer.data(), 64, &length, &read), 0);
    EXPECT_EQ(length, 37u);
    EXPECT_EQ(read, write);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 37), frame);
  }
}

TEST_F(RingParserTest, InconsistentRingsAreDroppedAndLargeFramesKept) {
  struct Case {
    const char* name;
    Bytes frame;
    uint32_t written;  // dwords the card claims to have written
    uint32_t capacity;
    int32_t result;
    bool dropped;
  };
  Bytes noMarker = frameOf(16);
  noMarker[0] = 'x';
  const Case cases[] = {
      {"NoMarker", noMarker, 4, 64, QORPXI95XX_ERROR_LENGTH, true},
      {"LengthBelowAHeader", withLength(frameOf(16), 8), 4, 64, QORPXI95XX_ERROR_LENGTH, true},
      {"LengthBeyondTheDataWritten", frameOf(40), 4, 64, QORPXI95XX_ERROR_LENGTH, true},
      {"LargerThanTheBuffer", frameOf(40), 10, 32, QORPXI95XX_ERROR_LENGTH, false},
      {"Fits", frameOf(40), 10, 40, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    putAt(50, c.frame);
    Bytes buffer(c.capacity);
    uint32_t length = 99, read = 0;
    EXPECT_EQ(readFrame(file_, RingState{kBase, 50, 50 + c.written}, buffer.data(), c.capacity, &length, &read),
              c.result);
    EXPECT_EQ(read, c.dropped ? 50 + c.written : c.result == 0 ? 60u : 50u);
    EXPECT_EQ(length, c.result == 0 ? 40u : 0u);
  }
}

TEST_F(RingParserTest, ShortOrFailedTransfersAreErrors) {
  Bytes buffer(64);
  uint32_t length = 0, read = 0;
  // The ring's card memory ends 4 bytes into the header: the driver moves fewer bytes than asked.
  ASSERT_EQ(ftruncate(file_, kBase + 4), 0);
  EXPECT_EQ(readFrame(file_, RingState{kBase, 0, 8}, buffer.data(), 64, &length, &read), EIO);
  EXPECT_EQ(read, 0u);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const Bytes frame = frameOf(12);
  uint32_t write = 0;
  EXPECT_EQ(writeFrame(pipeEnds[1], RingState{kBase, 0, 0}, frame.data(), 12, &write), ESPIPE);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

}  // namespace
}  // namespace qor::pxi95xx::test
