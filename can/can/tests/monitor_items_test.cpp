// The CAN monitor's items byte by byte: compact items into API items, large items out of blocks that may lie, and
// the host's ring of large items.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "monitor_items.hpp"
#include "monitor_large_ring.hpp"
#include "qor_emulator/frame.hpp"

namespace qor::can {
namespace {

using emulator::Bytes;
using emulator::words;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A large item as the firmware sends it: head, n data bytes, zeros to (n + 19) & ~3.
Bytes largeItem(uint64_t timeNs, uint32_t identifier, uint8_t flags, uint8_t dataLength, uint8_t fill) {
  Bytes item;
  emulator::appendLittleEndian(item, timeNs, 8);
  emulator::appendLittleEndian(item, identifier, 4);
  item.insert(item.end(), {flags, 0, 0x0F, dataLength});
  item.insert(item.end(), dataLength, fill);
  item.resize((dataLength + 19u) & ~3u, 0);
  return item;
}

TEST(CompactItems, BecomeApiItemsByteExact) {
  struct Case {
    const char* name;
    Bytes compact;
    Bytes api;
  };
  const Case cases[] = {
      {"unit 0: 10,000 ns; flags 0, 1, 2, 4 and 7 kept",
       words({0xFFFFFFFF, 0x18DAF110}, {0xFF, 8, 0, 0x77, 1, 2, 3, 4, 5, 6, 7, 8}),
       concat({words({0xFFFFD8F0, 0x270F}, {}), words({0x18DAF110}, {0x97, 0, 8, 8, 1, 2, 3, 4, 5, 6, 7, 8})})},
      {"unit 1: 400 ns; flags 3, 5 and 6 dropped", words({1000, 0x123}, {0x68, 2, 1, 0, 0xAA, 0xBB, 0, 0, 0, 0, 0, 0}),
       concat({words({400000, 0, 0x123}, {0, 0, 2, 2, 0xAA, 0xBB, 0, 0, 0, 0, 0, 0})})},
      {"an unknown unit: no time", words({1000, 0x7FF}, {0x01, 15, 2, 0, 9, 9, 9, 9, 9, 9, 9, 9}),
       concat({words({0, 0, 0x7FF}, {1, 0, 15, 15, 9, 9, 9, 9, 9, 9, 9, 9})})},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.compact.size(), kCompactItemBytes) << c.name;
    const Qor_Can_Monitor_Item_t item = apiItem(c.compact.data(), CompactFlags::ApiBits);
    Bytes bytes(sizeof item);
    std::memcpy(bytes.data(), &item, sizeof item);
    EXPECT_EQ(bytes, c.api) << c.name;
  }
  const Qor_Can_Monitor_Item_t unchanged = apiItem(cases[1].compact.data(), CompactFlags::Unchanged);
  EXPECT_EQ(unchanged.flags, 0x68) << "direct reading keeps the firmware's byte";
}

TEST(CompactItems, TenConvertInPlaceInOrder) {
  Bytes buffer(10 * kItemBytes, 0xEE);
  for (uint32_t index = 0; index < 10; ++index) {
    const Bytes compact = words({index, 0x100 + index}, {0, 1, 1, 0, static_cast<uint8_t>(index), 0, 0, 0, 0, 0, 0, 0});
    std::copy(compact.begin(), compact.end(), buffer.begin() + index * kCompactItemBytes);
  }
  convertInPlace(buffer.data(), 10);
  for (uint32_t index = 0; index < 10; ++index) {
    Qor_Can_Monitor_Item_t item;
    std::memcpy(&item, buffer.data() + index * kItemBytes, sizeof item);
    EXPECT_EQ(item.timeStampNs, index * 400u);
    EXPECT_EQ(item.identifier, 0x100 + index);
    EXPECT_EQ(item.data[0], index);
  }
}

TEST(CompactItems, OnlyAnItemThatIsThereIsMarked) {
  Bytes bytes(2 * kItemBytes, 0);
  markLastItem(bytes.data() + kItemBytes, 0, QOR_CAN_MONITOR_DATA_LOST);
  EXPECT_EQ(bytes, Bytes(2 * kItemBytes, 0)) << "no item: nothing written, not even before the buffer";
  markLastItem(bytes.data(), 2, QOR_CAN_MONITOR_DATA_LOST);
  EXPECT_EQ(bytes[kItemBytes + 12], 0x80);
  EXPECT_EQ(bytes[kItemBytes + 13], 0x80);
}

TEST(LargeItems, OnlyWholeItemsOfAtMost64BytesAreTaken) {
  struct Case {
    const char* name;
    Bytes block;
    std::vector<uint8_t> lengths;
    kit::WalkEnd end;
  };
  const Bytes n0 = largeItem(1, 1, 0, 0, 0);
  const Bytes n5 = largeItem(2, 2, 0, 5, 0xA5);
  const Bytes n64 = largeItem(3, 3, 0, 64, 0x64);
  Bytes lying = largeItem(4, 4, 0, 64, 0x11);
  lying[15] = 65;
  const Bytes cut(n5.begin(), n5.begin() + 18);
  const Bytes unpadded(n5.begin(), n5.begin() + 21);
  const Case cases[] = {
      {"steps of (n + 19) & ~3", concat({n0, n5, n64}), {0, 5, 64}, kit::WalkEnd::Complete},
      {"the last item without its padding", concat({n0, unpadded}), {0, 5}, kit::WalkEnd::Complete},
      {"65 data bytes", concat({n5, lying, n0}), {5}, kit::WalkEnd::Broken},
      {"data cut", concat({n0, cut}), {0}, kit::WalkEnd::Broken},
      {"a head cut", concat({n5, Bytes(10, 0)}), {5}, kit::WalkEnd::Broken},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> lengths;
    const kit::WalkEnd end = walkLargeItems(c.block, [&](std::span<const uint8_t> item) {
      Can_Param_Monitor_Buffer64_LargeItem_t slot;
      fillSlot(slot, item);
      lengths.push_back(slot.dataLength);
      EXPECT_EQ(item.size(), 16u + slot.dataLength) << c.name;
      return true;
    });
    EXPECT_EQ(lengths, c.lengths) << c.name;
    EXPECT_EQ(end, c.end) << c.name;
  }
}

TEST(LargeItemRing, AFullRingDropsTheRestAndMarksTheNewestStored) {
  LargeItemRing ring(3);
  ring.deliver(0, concat({largeItem(10, 1, 0, 8, 1), largeItem(20, 2, 0, 12, 2)}));
  ring.deliver(0, concat({largeItem(30, 3, 0, 64, 3), largeItem(40, 4, 0, 1, 4)}));
  Can_Param_Monitor_Buffer64_LargeItem_t slots[4] = {};
  LargeItemRing::Taken taken = ring.read(slots, 1);
  EXPECT_EQ(taken.count, 1u);
  EXPECT_TRUE(taken.more);
  taken = ring.read(slots + 1, 3);
  ASSERT_EQ(taken.count, 2u);
  EXPECT_FALSE(taken.more);
  EXPECT_EQ(slots[0].identifier, 1u);
  EXPECT_EQ(slots[0].timeStampNs, 10u);
  EXPECT_EQ(slots[1].flags, 0);
  EXPECT_EQ(slots[2].identifier, 3u);
  EXPECT_EQ(slots[2].flags, QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED);
  EXPECT_EQ(slots[2].data[63], 3);
  // Around the end of the slots; a malformed item marks the item before it.
  Bytes lying = largeItem(60, 6, 0, 8, 6);
  lying[15] = 200;
  ring.deliver(0, concat({largeItem(50, 5, 0, 0, 0), lying}));
  taken = ring.read(slots, 4);
  ASSERT_EQ(taken.count, 1u);
  EXPECT_EQ(slots[0].identifier, 5u);
  EXPECT_EQ(slots[0].flags, QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED);
  ring.deliver(0, lying);  // nothing stored to mark
  EXPECT_EQ(ring.read(slots, 4).count, 0u);
}

}  // namespace
}  // namespace qor::can
