// The LIN monitor's item conversions over hand-made firmware bytes: the application records byte-exact, data lengths
// above 8, times in ns, the overflow mark, list answers, and streams of items cut at every place.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "monitor_items.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

using emulator::appendLittleEndian;
using emulator::Bytes;

constexpr uint8_t kUntouched = 0xEE;

// A firmware buffer item of the kind: id, length, state, data 0xD0.., time stamp, time1, time2 to time4 and byte
// times counting up from `times` (A, then B, then C).
Bytes firmwareItem(const ItemFormat& format, uint8_t id, uint8_t length, uint32_t timeStamp, uint32_t times) {
  Bytes item{id, length, 0x5A};
  for (uint8_t i = 0; i < 8; ++i) item.push_back(static_cast<uint8_t>(0xD0 + i));
  item.push_back(0x77);  // reserved
  appendLittleEndian(item, timeStamp, 4);
  while (item.size() < format.firmwareSize) appendLittleEndian(item, times++, 4);
  return item;
}

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}
uint64_t u64At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint64_t value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

std::vector<uint8_t> converted(const ItemFormat& format, const Bytes& firmware) {
  std::vector<uint8_t> item(format.applicationSize, kUntouched);
  convertBufferItem(format, firmware.data(), item.data());
  return item;
}

TEST(LinMonitorItems, SizesOfTheThreeKinds) {
  struct Row {
    ItemKind kind;
    uint8_t firmwareKind;
    uint32_t firmwareSize, applicationSize;
  };
  for (const Row& row : {Row{ItemKind::Small, 1, 20, 28}, Row{ItemKind::Normal, 0, 68, 76},
                         Row{ItemKind::Advanced, 2, 140, 148}}) {
    EXPECT_EQ(itemFormat(row.kind).firmwareKind, row.firmwareKind);
    EXPECT_EQ(itemFormat(row.kind).firmwareSize, row.firmwareSize);
    EXPECT_EQ(itemFormat(row.kind).applicationSize, row.applicationSize);
  }
}

TEST(LinMonitorItems, AdvancedItemByteExact) {
  const ItemFormat& format = itemFormat(ItemKind::Advanced);
  const std::vector<uint8_t> item = converted(format, firmwareItem(format, 0x3C, 8, 1000, 1000));
  EXPECT_EQ(u32At(item, 0), 0x3Cu) << "frame id";
  EXPECT_EQ(item[4], 8) << "length";
  EXPECT_EQ(item[5], 0x5A) << "state";
  EXPECT_EQ(item[6], 0);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(item[7 + i], 0xD0 + i) << "data " << i;
  EXPECT_EQ(item[15], kUntouched) << "the byte after the data is not the record's";
  EXPECT_EQ(u64At(item, 16), 400'000u) << "time stamp 1000 ticks of 400 ns";
  EXPECT_EQ(u32At(item, 24), 25'000u) << "time1 1000 ticks of 25 ns";
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(u32At(item, 28 + 4 * i), (1001 + i) * 25) << "time" << i + 2;
  // Byte times follow time4 in the firmware item: A from tick 1004, B from 1013, C from 1022; eight of each.
  for (size_t array = 0; array < 3; ++array) {
    for (size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(u32At(item, 40 + 36 * array + 4 * i), (1004 + 9 * array + i) * 25) << array << " " << i;
    }
    EXPECT_EQ(u32At(item, 40 + 36 * array + 32), 0xEEEEEEEEu) << "the ninth byte time of a length of 8";
  }
}

TEST(LinMonitorItems, OnlyTheFramesDataAndByteTimesAreWritten) {
  const ItemFormat& normal = itemFormat(ItemKind::Normal);
  const std::vector<uint8_t> item = converted(normal, firmwareItem(normal, 1, 2, 0, 40));
  EXPECT_EQ(item[7], 0xD0);
  EXPECT_EQ(item[8], 0xD1);
  for (size_t i = 9; i < 16; ++i) EXPECT_EQ(item[i], kUntouched) << i;
  EXPECT_EQ(u32At(item, 40), 44u * 25) << "A[0]";
  EXPECT_EQ(u32At(item, 44), 45u * 25) << "A[1]";
  for (size_t i = 2; i < 9; ++i) EXPECT_EQ(u32At(item, 40 + 4 * i), 0xEEEEEEEEu) << "A[" << i << "]";

  const ItemFormat& small = itemFormat(ItemKind::Small);
  const std::vector<uint8_t> smallItem = converted(small, firmwareItem(small, 1, 0, 0, 0));
  EXPECT_EQ(smallItem[4], 0);
  EXPECT_EQ(smallItem[7], kUntouched) << "no data";
}

TEST(LinMonitorItems, LengthAboveEightIsTakenAsEight) {
  const ItemFormat& advanced = itemFormat(ItemKind::Advanced);
  for (uint8_t length : {9, 200, 255}) {
    const std::vector<uint8_t> item = converted(advanced, firmwareItem(advanced, 1, length, 0, 0));
    EXPECT_EQ(item[4], 8) << int{length};
    EXPECT_EQ(item[15], kUntouched) << int{length};
    for (size_t array = 0; array < 3; ++array) {
      EXPECT_EQ(u32At(item, 40 + 36 * array + 32), 0xEEEEEEEEu) << int{length} << " array " << array;
    }
  }
}

TEST(LinMonitorItems, TimesInNanoseconds) {
  EXPECT_EQ(timeStampNs(1000), 400'000u);
  EXPECT_EQ(timeStampNs(0xFFFFFFFF), 0xFFFFFFFFull * 400) << "the time stamp has 64 bits";
  EXPECT_EQ(firmwareTimeNs(1000), 25'000u);
  EXPECT_EQ(firmwareTimeNs(171'798'691), 4'294'967'275u) << "the largest that fits";
  EXPECT_EQ(firmwareTimeNs(171'798'692), 0xFFFFFFFFu) << "saturated, not wrapped";
  EXPECT_EQ(firmwareTimeNs(0xFFFFFFFF), 0xFFFFFFFFu);
}

TEST(LinMonitorItems, OverflowMarksTheLastItemOnly) {
  const ItemFormat& small = itemFormat(ItemKind::Small);
  std::vector<uint8_t> items(3 * small.applicationSize, 0);
  items[0] = 0x11;
  items[small.applicationSize] = 0x12;
  items[2 * small.applicationSize] = 0x13;
  std::vector<uint8_t> untouched = items;
  markOverflow(small, items.data(), 0);
  EXPECT_EQ(items, untouched) << "no item, no mark";
  markOverflow(small, items.data(), 3);
  EXPECT_EQ(u32At(items, 0), 0x11u);
  EXPECT_EQ(u32At(items, small.applicationSize), 0x12u);
  EXPECT_EQ(u32At(items, 2 * small.applicationSize), 0x8093u);
}

Bytes listAnswer(size_t size, uint8_t id, uint32_t present, uint8_t length) {
  Bytes answer{id, 0, 0, 0};
  appendLittleEndian(answer, present, 4);
  answer.insert(answer.end(), {0x81, length, 0x82});
  for (uint8_t i = 0; i < 8; ++i) answer.push_back(static_cast<uint8_t>(0xD0 + i));
  answer.push_back(0);
  for (uint32_t tick = 1000; answer.size() < size; ++tick) appendLittleEndian(answer, tick, 4);
  return answer;
}

TEST(LinMonitorItems, NormalListItemByteExact) {
  const ListFormat& format = listFormat(ListKind::Normal);
  EXPECT_EQ(format.command, 0xF3);
  EXPECT_EQ(format.answerSize, 76u);
  std::vector<uint8_t> item(format.itemSize, kUntouched);
  convertListAnswer(format, listAnswer(76, 0x2A, 1, 3), item.data());
  EXPECT_EQ(u32At(item, 0), 1u) << "entry present";
  EXPECT_EQ(u32At(item, 4), 0x81u) << "value8";
  EXPECT_EQ(item[8], 0x2A) << "frame id";
  EXPECT_EQ(item[9], 0x82) << "value10";
  EXPECT_EQ(item[10], 3) << "length";
  EXPECT_EQ(item[11], 0xD0);
  EXPECT_EQ(item[13], 0xD2);
  EXPECT_EQ(item[14], 0) << "past the length: zero";
  EXPECT_EQ(u64At(item, 20), 400'000u);
  EXPECT_EQ(u32At(item, 28), 1001u * 25);
  EXPECT_EQ(u32At(item, 32), 1002u * 25) << "time2";
  EXPECT_EQ(u32At(item, 44), 1005u * 25) << "byte time 0";
  EXPECT_EQ(u32At(item, 52), 1007u * 25) << "byte time 2";
  EXPECT_EQ(u32At(item, 56), 0u) << "byte time 3";
}

TEST(LinMonitorItems, AbsentListEntryKeepsOnlyItsKey) {
  const ListFormat& format = listFormat(ListKind::Small);
  std::vector<uint8_t> item(format.itemSize, kUntouched);
  convertListAnswer(format, listAnswer(28, 0x05, 0, 8), item.data());
  std::vector<uint8_t> expected(format.itemSize, 0);
  expected[4] = 0x81;
  expected[8] = 0x05;
  EXPECT_EQ(item, expected);

  convertListAnswer(format, listAnswer(28, 0x05, 1, 250), item.data());
  EXPECT_EQ(item[10], 8) << "length clamped";
  EXPECT_EQ(item[18], 0xD7);
  EXPECT_EQ(item[19], 0);
}

// All items that a stream delivers, with the number of calls and the largest piece.
struct Delivered {
  std::vector<uint8_t> items;
  size_t calls = 0;
  uint32_t largest = 0;
};

TEST(LinMonitorItems, StreamCutAtEveryPlaceGivesTheSameItems) {
  const ItemFormat& format = itemFormat(ItemKind::Normal);
  Bytes stream;
  std::vector<uint8_t> expected;
  for (uint8_t i = 0; i < 4; ++i) {
    const Bytes item = firmwareItem(format, i, static_cast<uint8_t>(2 * i), 100u * i, 10u * i);
    stream.insert(stream.end(), item.begin(), item.end());
    const std::vector<uint8_t> one = converted(format, item);
    expected.insert(expected.end(), one.begin(), one.end());
  }
  // Every pair of cuts: three blocks, each possibly empty or inside an item.
  for (size_t first = 0; first <= stream.size(); first += 3) {
    for (size_t second = first; second <= stream.size(); second += 5) {
      ItemStream items(format, 2);
      Delivered got;
      const auto deliver = [&](uint32_t count, const void* converted) {
        const auto* bytes = static_cast<const uint8_t*>(converted);
        got.items.insert(got.items.end(), bytes, bytes + size_t{count} * format.applicationSize);
        ++got.calls;
        got.largest = std::max(got.largest, count);
      };
      const std::span<const uint8_t> all(stream);
      items.feed(all.subspan(0, first), deliver);
      items.feed(all.subspan(first, second - first), deliver);
      items.feed(all.subspan(second), deliver);
      ASSERT_EQ(got.items.size(), expected.size()) << "cuts at " << first << " and " << second;
      // Unwritten bytes of the conversion buffer belong to no item; compare what the items carry.
      for (size_t i = 0; i < 4; ++i) {
        const size_t at = i * format.applicationSize;
        EXPECT_EQ(u32At(got.items, at), u32At(expected, at)) << first << " " << second << " item " << i;
        EXPECT_EQ(u64At(got.items, at + 16), u64At(expected, at + 16)) << first << " " << second << " item " << i;
        const size_t length = expected[at + 4];
        EXPECT_EQ(std::memcmp(got.items.data() + at + 40, expected.data() + at + 40, 4 * length), 0);
      }
      EXPECT_LE(got.largest, 2u) << "pieces of at most the buffer's items";
    }
  }
}

TEST(LinMonitorItems, StreamCallsOncePerBlockEvenWithoutItem) {
  const ItemFormat& format = itemFormat(ItemKind::Small);
  ItemStream items(format, 3);
  std::vector<uint32_t> counts;
  const auto deliver = [&](uint32_t count, const void*) { counts.push_back(count); };
  Bytes seven;
  for (uint8_t i = 0; i < 7; ++i) {
    const Bytes item = firmwareItem(format, i, 1, 0, 0);
    seven.insert(seven.end(), item.begin(), item.end());
  }
  items.feed(std::span<const uint8_t>(seven).first(10), deliver);
  EXPECT_EQ(counts, (std::vector<uint32_t>{0})) << "half an item";
  counts.clear();
  items.feed(std::span<const uint8_t>(seven).subspan(10), deliver);
  EXPECT_EQ(counts, (std::vector<uint32_t>{3, 3, 1})) << "seven items through a buffer of three";
  counts.clear();
  items.feed({}, deliver);
  EXPECT_EQ(counts, (std::vector<uint32_t>{0}));
}

}  // namespace
}  // namespace qor::lin
