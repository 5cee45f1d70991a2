// Card memory is untrusted: hostile ring indices and frame lengths give an error and an emptied ring, never a read
// or write outside the ring or the caller's buffer, nor a reader that loops or stalls.
#include "card_fixture.hpp"
#include "card_rings.hpp"

namespace qor::pxi94xx::test {
namespace {

// Plain memory as BAR0, the reader's buffer guarded by a canary.
class RingMemory {
 public:
  RingMemory() : memory_(PXI94XX_BAR0_SIZE) {}
  volatile uint8_t* bar0() { return memory_.data(); }
  void set(uint32_t offset, uint32_t value) { std::memcpy(memory_.data() + offset, &value, 4); }
  uint32_t get(uint32_t offset) const {
    uint32_t value = 0;
    std::memcpy(&value, memory_.data() + offset, 4);
    return value;
  }
  // A frame header dword (marker and length) at dword index of the ring.
  void putLength(const RingLayout& ring, uint32_t index, uint32_t length) {
    set(ring.data + 4 * index, QOR_FRAME_MARKER | QOR_REQUEST_NO_ACKNOWLEDGE << 8 | length << 16);
  }

 private:
  std::vector<uint8_t> memory_;
};

struct HostileCase {
  const char* name;
  uint32_t readIndex;
  uint32_t writeIndex;
  uint32_t frameLength;  // in the first dword at the read index (when that is inside the ring)
  uint32_t capacity;     // of the reader's buffer
  uint32_t expected;
  bool frameStays;  // the read index is left alone
};

constexpr uint32_t kDwords = PXI94XX_RESPONSE_RING_SIZE / 4;

const HostileCase kHostileCases[] = {
    {"write_index_outside_ring", 0, kDwords, 16, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"write_index_far_outside", 0, 0xFFFFFFFF, 16, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"read_index_outside_ring", kDwords + 5, 4, 16, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"length_zero", 0, 4, 0, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"length_shorter_than_header", 0, 4, 11, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"length_beyond_written_dwords", 0, 4, 17, 64, PXI94XX_ERROR_BAD_ANSWER, false},
    {"length_beyond_written_across_end", kDwords - 2, 1, 0xFFFF, 0xFFFF, PXI94XX_ERROR_BAD_ANSWER, false},
    {"frame_larger_than_buffer", 0, 20, 80, 64, PXI94XX_ERROR_BUFFER_TOO_SMALL, true},
    {"well_formed", kDwords - 1, 3, 16, 64, 0, false},
};

class HostileRingTest : public ::testing::TestWithParam<HostileCase> {
 protected:
  void prepare(const RingLayout& ring) {
    const HostileCase& c = GetParam();
    memory_.set(ring.readIndex, c.readIndex);
    memory_.set(ring.writeIndex, c.writeIndex);
    if (c.readIndex < ring.dwords()) memory_.putLength(ring, c.readIndex, c.frameLength);
  }
  // The reader's buffer with a canary right behind its capacity.
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(0x10000 + 16, 0xC5);
  RingMemory memory_;
};

TEST_P(HostileRingTest, SingleFrameReadStaysInBounds) {
  const HostileCase& c = GetParam();
  prepare(kResponseRing);
  uint32_t length = 12345;
  EXPECT_EQ(readFrame(memory_.bar0(), kResponseRing, buffer_.data(), c.capacity, &length), c.expected);
  EXPECT_EQ(length, c.expected == 0 ? c.frameLength : 0u);
  EXPECT_EQ(buffer_[c.capacity], 0xC5);
  const uint32_t read = memory_.get(kResponseRing.readIndex);
  EXPECT_LT(read, kDwords);
  if (c.frameStays) {
    EXPECT_EQ(read, c.readIndex);
  } else if (c.expected != 0) {
    EXPECT_EQ(read, memory_.get(kResponseRing.writeIndex) % kDwords);  // emptied
  }
}

TEST_P(HostileRingTest, BlockReadStopsAndStaysInBounds) {
  const HostileCase& c = GetParam();
  prepare(kResponseRing);
  uint32_t total = 1, count = 1;
  const uint32_t result = readFrames(memory_.bar0(), kResponseRing, buffer_.data(), c.capacity, &total, &count);
  // A frame too large for the buffer ends the walk before it.
  EXPECT_EQ(result, c.expected == PXI94XX_ERROR_BUFFER_TOO_SMALL ? 0u : c.expected);
  EXPECT_LE(total, c.capacity);
  EXPECT_EQ(buffer_[c.capacity], 0xC5);
  EXPECT_LT(memory_.get(kResponseRing.readIndex), kDwords);
}

INSTANTIATE_TEST_SUITE_P(Contents, HostileRingTest, ::testing::ValuesIn(kHostileCases),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(CommandRingTest, OneDwordAlwaysStaysFree) {
  RingMemory memory;
  const Bytes frame = commandFrame(1, 0x42, 13);  // 4 dwords
  // free = read - write dwords
  memory.set(kCommandRing.readIndex, 104);
  memory.set(kCommandRing.writeIndex, 100);
  EXPECT_EQ(writeFrame(memory.bar0(), kCommandRing, frame.data(), 13), PXI94XX_ERROR_RING_FULL);
  EXPECT_EQ(memory.get(kCommandRing.writeIndex), 100u);
  memory.set(kCommandRing.readIndex, 105);
  EXPECT_EQ(writeFrame(memory.bar0(), kCommandRing, frame.data(), 13), 0u);
  EXPECT_EQ(memory.get(kCommandRing.writeIndex), 104u);
  // The partial last dword is padded with zeros.
  EXPECT_EQ(memory.get(kCommandRing.data + 4 * 103), frame[12]);
}

TEST(CommandRingTest, WrapsAtTheRingEnd) {
  RingMemory memory;
  const Bytes frame = commandFrame(1, 0x42, 16);
  memory.set(kCommandRing.readIndex, kCommandRing.dwords() - 2);
  memory.set(kCommandRing.writeIndex, kCommandRing.dwords() - 2);
  ASSERT_EQ(writeFrame(memory.bar0(), kCommandRing, frame.data(), 16), 0u);
  EXPECT_EQ(memory.get(kCommandRing.writeIndex), 2u);
  uint32_t second = 0, third = 0;
  std::memcpy(&third, frame.data() + 8, 4);
  std::memcpy(&second, frame.data() + 4, 4);
  EXPECT_EQ(memory.get(kCommandRing.data + 4 * (kCommandRing.dwords() - 1)), second);
  EXPECT_EQ(memory.get(kCommandRing.data), third);  // continued at the start of the ring
  EXPECT_EQ(memory.get(kCommandRing.data + kCommandRing.size), 0u);  // nothing past the end
}

TEST(CommandRingTest, HostileCardIndexRefusesTheWrite) {
  RingMemory memory;
  const Bytes frame = commandFrame(1, 0x42, 16);
  memory.set(kCommandRing.readIndex, 0x80000000);
  EXPECT_EQ(writeFrame(memory.bar0(), kCommandRing, frame.data(), 16), PXI94XX_ERROR_BAD_ANSWER);
  EXPECT_EQ(memory.get(kCommandRing.writeIndex), 0u);
  EXPECT_EQ(memory.get(kCommandRing.data), 0u);
}

TEST(MonitorRingTest, WrapsAtItsOwnSize) {
  RingMemory memory;
  const RingLayout& ring = kMonitorRing;
  const Bytes frame = commandFrame(1, 7, 20);  // 5 dwords from 2 before the end
  memory.set(ring.readIndex, ring.dwords() - 2);
  for (uint32_t i = 0; i < 5; ++i) {
    uint32_t word = 0;
    std::memcpy(&word, frame.data() + 4 * i, 4);
    memory.set(ring.data + 4 * ((ring.dwords() - 2 + i) % ring.dwords()), word);
  }
  memory.set(ring.writeIndex, 3);
  std::vector<uint8_t> buffer(ring.size);
  uint32_t total = 0, count = 0;
  ASSERT_EQ(readFrames(memory.bar0(), ring, buffer.data(), ring.size, &total, &count), 0u);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(total, 20u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), buffer.begin()));
  EXPECT_EQ(memory.get(ring.readIndex), 3u);
}

}  // namespace
}  // namespace qor::pxi94xx::test
