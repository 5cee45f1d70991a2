// Trace records built from firmware items and taken back from stored bytes, byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "trace_entry.hpp"

namespace qor::trace {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes le(uint64_t value, size_t width) {
  Bytes bytes(width);
  for (size_t index = 0; index < width; ++index) bytes[index] = static_cast<uint8_t>(value >> (8 * index));
  return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes head(uint32_t length, uint32_t channel, uint64_t timestamp, uint32_t bus) {
  return join({le(length, 4), le(channel, 4), le(timestamp, 8), le(0, 8), le(bus, 4)});
}

Bytes recordOf(const SharedEntry& entry) { return Bytes(entry->record().begin(), entry->record().end()); }

TEST(TraceEntry, CanItemsBecomeRecordsOfTheirDataLength) {
  const uint64_t time = 0x0102030405060708;
  const Bytes noData = join({le(time, 8), le(0x123, 4), {0x03, 0x44, 0x00, 0x00}});
  auto entry = TraceEntry::fromCanItem(7, join({noData, {0xEE, 0xEE}}));  // fill bytes of the next item stay out
  ASSERT_TRUE(entry);
  EXPECT_EQ(recordOf(entry), join({head(44, 7, time, 0), noData}));
  EXPECT_EQ(entry->timestamp(), time);

  Bytes fd = join({le(time, 8), le(0x1ABCDEF0, 4), {0x09, 0, 15, 64}});
  for (uint8_t index = 0; index < 64; ++index) fd.push_back(index);
  entry = TraceEntry::fromCanItem(1, fd);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->length(), 108u);
  EXPECT_EQ(recordOf(entry), join({head(108, 1, time, 0), fd}));
}

TEST(TraceEntry, ItemsCutOrTooShortForTheirHeadBuildNothing) {
  const Bytes canHead = join({le(1, 8), le(0x10, 4), {0, 0, 8, 8}});
  EXPECT_FALSE(TraceEntry::fromCanItem(1, join({canHead, Bytes(7)})));  // 8 data bytes announced, 7 there
  EXPECT_FALSE(TraceEntry::fromCanItem(1, Bytes(15)));
  EXPECT_FALSE(TraceEntry::fromCanItem(1, join({le(1, 8), le(0x10, 4), {0, 0, 15, 65}, Bytes(65)})));
  EXPECT_FALSE(TraceEntry::fromLinItem(1, Bytes(19)));
  for (auto build : {&TraceEntry::fromFlexRayEntry, &TraceEntry::fromEthernetItem}) {
    EXPECT_FALSE(build(1, join({le(11, 2), Bytes(14)})));  // no room for the time stamp
    EXPECT_FALSE(build(1, join({le(40, 2), Bytes(30)})));  // longer than the response
    EXPECT_FALSE(build(1, Bytes(1)));
  }
}

TEST(TraceEntry, LinRecordsAreAlways48BytesWithAtMostNineDataAndChecksumBytes) {
  const uint64_t time = 0x1122334455667788;
  const Bytes itemHeader = join({le(40, 2), le(0, 2), le(time, 8)});
  const struct {
    uint8_t count;
    size_t present;
    uint8_t recorded;
  } cases[] = {{3, 3, 3}, {9, 9, 9}, {13, 13, 9}, {255, 20, 9}, {6, 2, 2}, {0, 0, 0}};
  for (const auto& c : cases) {
    Bytes bytes;
    for (size_t index = 0; index < c.present; ++index) bytes.push_back(static_cast<uint8_t>(0xA0 + index));
    const Bytes small = join({{0x42, c.count, 0xC5, 0x77}, le(0x1F40, 4), bytes});
    const auto entry = TraceEntry::fromLinItem(4, join({itemHeader, small}));
    ASSERT_TRUE(entry) << int{c.count};
    Bytes stored(9);
    std::copy_n(bytes.begin(), c.recorded, stored.begin());
    EXPECT_EQ(recordOf(entry),
              join({head(48, 4, time, 1), le(0, 2), le(0x42, 2), {c.recorded, 0xC5, 0}, stored, le(0x1F40, 4)}))
        << int{c.count};
  }
}

TEST(TraceEntry, FlexRayAndEthernetItemsAreCopiedWhole) {
  Bytes item = join({le(80, 2), le(1, 2), le(0xABCDEF0123456789, 8), {1, 0}, le(64, 2)});
  item.resize(80, 0x5A);
  item.push_back(0xEE);  // the next item's byte stays out
  const auto ethernet = TraceEntry::fromEthernetItem(3, item);
  ASSERT_TRUE(ethernet);
  EXPECT_EQ(ethernet->length(), 108u);
  EXPECT_EQ(ethernet->timestamp(), 0xABCDEF0123456789u);
  EXPECT_EQ(recordOf(ethernet), join({head(108, 3, 0xABCDEF0123456789, 3), Bytes(item.begin(), item.end() - 1)}));

  const Bytes event = join({le(12, 2), le(4, 2), le(99, 8)});
  const auto flexRay = TraceEntry::fromFlexRayEntry(2, event);
  ASSERT_TRUE(flexRay);
  EXPECT_EQ(recordOf(flexRay), join({head(40, 2, 99, 2), event}));
}

TEST(TraceEntry, OverrunMarksTheRecordByBus) {
  const auto can = TraceEntry::fromCanItem(1, join({le(1, 8), le(2, 4), {0x02, 0, 0, 0}}));
  const auto lin = TraceEntry::fromLinItem(1, join({le(20, 2), le(0, 2), le(1, 8), {0x01, 0, 0, 0}, le(0, 4)}));
  const auto ethernet = TraceEntry::fromEthernetItem(1, join({le(16, 2), le(1, 2), le(1, 8), le(0, 4)}));
  for (const auto& entry : {can, lin, ethernet}) entry->setBufferOverrunFlag();
  EXPECT_EQ(can->record()[40], 0x82);
  EXPECT_EQ(fieldAt<uint16_t>(lin->record(), 30), 0x81);
  EXPECT_EQ(fieldAt<uint16_t>(ethernet->record(), 30), 0);
}

TEST(TraceEntry, RelativeTimeWrapsWhenTheEarlierEntryIsLater) {
  const auto early = TraceEntry::fromCanItem(1, join({le(100, 8), le(2, 4), {0, 0, 0, 0}}));
  const auto late = TraceEntry::fromCanItem(1, join({le(350, 8), le(2, 4), {0, 0, 0, 0}}));
  late->setRelativeTimestamp(*late, *early);
  EXPECT_EQ(late->relativeTimestamp(), 250u);
  early->setRelativeTimestamp(*early, *late);
  EXPECT_EQ(early->relativeTimestamp(), ~uint64_t{0} - 249);
}

TEST(TraceEntry, StoredRecordsComeBackOnlyWhenTheyHoldTogether) {
  const Bytes can = join({head(44, 1, 5, 0), le(5, 8), le(1, 4), Bytes(4)});
  EXPECT_TRUE(TraceEntry::fromRecord(can));
  const Bytes unknownBus = head(28, 1, 5, 9);
  EXPECT_TRUE(TraceEntry::fromRecord(unknownBus));
  const Bytes refused[] = {
      join({head(45, 1, 5, 0), le(5, 8), le(1, 4), Bytes(4)}),  // length says more than there is
      head(28, 1, 5, 0),                                         // CAN without its fixed part
      join({head(44, 1, 5, 1), Bytes(16)}),                      // LIN is 48 bytes
      join({head(36, 1, 5, 3), Bytes(8)}),                       // Ethernet without its time stamp
      Bytes(3),
  };
  for (const Bytes& record : refused) EXPECT_FALSE(TraceEntry::fromRecord(record)) << record.size();
}

}  // namespace
}  // namespace qor::trace
