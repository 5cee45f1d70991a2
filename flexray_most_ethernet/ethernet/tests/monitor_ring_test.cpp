// The Ethernet monitor's host ring: items walked out of blocks that may lie about their lengths, stored across the
// ring's end, read out whole, and what a full ring or a malformed block drops is counted, never a hang.
#include "monitor_ring.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qor::ethernet {
namespace {

using Bytes = std::vector<uint8_t>;

// An item of `bytes` bytes (at least the head) whose time stamp is its sequence number.
Bytes item(size_t bytes, uint64_t sequence) {
  Bytes out(bytes, static_cast<uint8_t>(sequence));
  out[0] = static_cast<uint8_t>(bytes);
  out[1] = static_cast<uint8_t>(bytes >> 8);
  out[2] = out[3] = 0;
  for (size_t index = 0; index < 8; ++index) out[4 + index] = static_cast<uint8_t>(sequence >> (8 * index));
  return out;
}

Bytes block(const std::vector<Bytes>& items) {
  Bytes out = {3, 0, 0, 0, static_cast<uint8_t>(items.size()), 0, 0, 0};
  for (const Bytes& one : items) out.insert(out.end(), one.begin(), one.end());
  return out;
}

uint64_t sequenceOf(const uint8_t* item) {
  uint64_t sequence = 0;
  for (size_t index = 0; index < 8; ++index) sequence |= uint64_t{item[4 + index]} << (8 * index);
  return sequence;
}

TEST(MonitorRing, ItemsWrapAroundTheEndAndComeOutWholeInOrder) {
  MonitorRing ring(100);
  ring.deliver(block({item(50, 0), item(50, 1)}));  // the second ends exactly at the ring's end
  Bytes out(60);
  MonitorRing::Taken taken = ring.read(out, 100);
  EXPECT_EQ(taken.items, 1u);
  EXPECT_EQ(taken.bytes, 50u);
  ring.deliver(block({item(40, 2)}));  // starts at the ring's start
  ring.deliver(block({item(30, 3)}));  // 10 bytes free: dropped
  EXPECT_EQ(ring.dropped(), 1u);
  Bytes all(200);
  taken = ring.read(all, 100);
  ASSERT_EQ(taken.items, 2u);
  EXPECT_EQ(sequenceOf(all.data()), 1u);
  EXPECT_EQ(sequenceOf(all.data() + 50), 2u);
  EXPECT_EQ(all[50], 40) << "the head read back from the ring's start";
}

TEST(MonitorRing, ItemsWhoseHeadStraddlesTheEndReadBack) {
  MonitorRing ring(64);
  Bytes out(64);
  for (uint64_t sequence = 0; sequence < 50; ++sequence) {
    ring.deliver(block({item(12 + sequence % 7, sequence)}));
    const MonitorRing::Taken taken = ring.read(out, 1);
    ASSERT_EQ(taken.items, 1u) << sequence;
    EXPECT_EQ(taken.bytes, 12 + sequence % 7);
    EXPECT_EQ(sequenceOf(out.data()), sequence);
  }
}

TEST(MonitorRing, MalformedBlocksEndTheWalkWithoutHangingOrOverreading) {
  struct Case {
    const char* name;
    Bytes block;
    size_t stored;
  };
  Bytes zeroLength = block({item(20, 1)});
  zeroLength.insert(zeroLength.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Bytes tooShort = block({item(20, 1), item(20, 2)});
  tooShort[28] = 11;  // the second claims less than its head
  Bytes tooLong = block({item(20, 1), item(20, 2)});
  tooLong[28] = 21;  // the second claims a byte beyond the block
  Bytes cutHead = block({item(20, 1)});
  cutHead.insert(cutHead.end(), {40, 0, 0});
  const Case cases[] = {
      {"block shorter than its head", {3, 0, 0, 0, 1}, 0}, {"zero length", zeroLength, 1},
      {"shorter than the item head", tooShort, 1},         {"longer than the block", tooLong, 1},
      {"head cut by the block's end", cutHead, 1},
  };
  for (const Case& c : cases) {
    MonitorRing ring(1000);
    ring.deliver(c.block);
    EXPECT_EQ(ring.items(), c.stored) << c.name;
    EXPECT_EQ(ring.dropped(), 1u) << c.name;
  }
}

TEST(MonitorRing, AFullRingDropsTheRestOfTheBlockAndCountsIt) {
  MonitorRing ring(100);
  ring.deliver(block({item(40, 0), item(40, 1), item(40, 2), item(12, 3)}));
  EXPECT_EQ(ring.items(), 2u);
  EXPECT_EQ(ring.dropped(), 2u) << "the rest of the block goes, even an item that would fit";
}

TEST(MonitorRing, AnItemLargerThanTheBufferIsReportedAndStays) {
  MonitorRing ring(1000);
  ring.deliver(block({item(100, 7)}));
  Bytes small(99);
  const MonitorRing::Taken taken = ring.read(small, 100);
  EXPECT_EQ(taken.items, 0u);
  EXPECT_EQ(taken.tooLargeItemBytes, 100u);
  EXPECT_EQ(ring.items(), 1u);
  Bytes enough(100);
  EXPECT_EQ(ring.read(enough, 100).items, 1u);
}

TEST(MonitorRing, TwoHundredMebibytesPassASmallRingWithoutLossWhileTheReaderKeepsUp) {
  MonitorRing ring(1 << 20);
  Bytes out(300000);
  uint64_t sent = 0, received = 0;
  size_t bytes = 0;
  while (bytes < (size_t{200} << 20)) {
    std::vector<Bytes> items;
    for (int index = 0; index < 20; ++index, ++sent) items.push_back(item(60 + (sent * 37) % 1459, sent));
    const Bytes one = block(items);
    bytes += one.size();
    ring.deliver(one);
    if (ring.items() < 100) continue;
    const MonitorRing::Taken taken = ring.read(out, 1000);
    for (size_t offset = 0; offset < taken.bytes; offset += out[offset] | out[offset + 1] << 8) {
      ASSERT_EQ(sequenceOf(out.data() + offset), received++);
    }
  }
  for (MonitorRing::Taken taken = ring.read(out, 1000); taken.items > 0; taken = ring.read(out, 1000)) {
    for (size_t offset = 0; offset < taken.bytes; offset += out[offset] | out[offset + 1] << 8) {
      ASSERT_EQ(sequenceOf(out.data() + offset), received++);
    }
  }
  EXPECT_EQ(received, sent);
  EXPECT_EQ(ring.dropped(), 0u);
}

}  // namespace
}  // namespace qor::ethernet
