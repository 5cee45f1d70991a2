// The monitor's ring and the parser of the firmware's deliveries, driven directly: the ring's eviction and overflow
// marks, and item streams cut into deliveries at every place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "monitor_deliveries.hpp"
#include "monitor_items.hpp"
#include "monitor_ring.hpp"

namespace qor::kline {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> 8 * i));
}

Bytes regular(uint32_t stamp, uint8_t data, uint8_t flags = 0) {
  Bytes item;
  put32(item, stamp);
  item.insert(item.end(), {0, flags, data, 0});
  return item;
}

Bytes advanced(uint32_t stamp, size_t dataLength, uint8_t flags = 0) {
  Bytes item;
  put32(item, static_cast<uint32_t>(kAdvancedItemHead + dataLength));
  put32(item, stamp);
  item.insert(item.end(), {0, flags, static_cast<uint8_t>(dataLength), static_cast<uint8_t>(dataLength >> 8)});
  for (size_t i = 0; i < dataLength; ++i) item.push_back(static_cast<uint8_t>(stamp + i));
  return item;
}

struct Seen {
  uint32_t stamp;
  bool marked;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
  return out << seen.stamp << (seen.marked ? "!" : "");
}

// Everything the ring holds, oldest first; the stamp is the item's first word (regular) or second (advanced).
std::vector<Seen> drain(MonitorRing& ring, bool isAdvanced = false) {
  std::vector<Seen> seen;
  while (ring.holdsItems()) {
    const auto item = ring.oldest();
    uint32_t stamp = 0;
    std::memcpy(&stamp, item.data() + (isAdvanced ? 4 : 0), 4);
    const uint8_t flags = item[isAdvanced ? kAdvancedFlagOffset : kRegularFlagOffset];
    seen.push_back({stamp, (flags & kOverflowMark) != 0});
    ring.dropOldest();
  }
  return seen;
}

TEST(MonitorRing, AFullRingGivesUpItsOldestAndMarksTheNewestKept) {
  MonitorRing ring(48, kRegularFlagOffset);  // two regular nodes
  for (uint32_t stamp : {1, 2, 3}) ring.append(regular(stamp, 0));
  EXPECT_EQ(drain(ring), (std::vector<Seen>{{2, true}, {3, false}}));

  MonitorRing again(48, kRegularFlagOffset);
  for (uint32_t stamp : {1, 2, 3, 4}) again.append(regular(stamp, 0));
  EXPECT_EQ(drain(again), (std::vector<Seen>{{3, true}, {4, false}}));
}

TEST(MonitorRing, AWrapAroundMarksTheNewestEvenWhenNothingIsGivenUp) {
  MonitorRing ring(72, kRegularFlagOffset);
  for (uint32_t stamp : {1, 2, 3}) ring.append(regular(stamp, 0));
  ring.dropOldest();
  ring.append(regular(4, 0));
  EXPECT_EQ(drain(ring), (std::vector<Seen>{{2, false}, {3, true}, {4, false}}));
}

TEST(MonitorRing, AnEmptiedRingGoesOnWhereItStopped) {
  MonitorRing ring(72, kRegularFlagOffset);
  for (uint32_t stamp : {1, 2}) ring.append(regular(stamp, 0));
  EXPECT_EQ(drain(ring).size(), 2u);
  for (uint32_t stamp : {3, 4}) ring.append(regular(stamp, 0));  // 3 at 48, 4 wraps to 0
  EXPECT_EQ(drain(ring), (std::vector<Seen>{{3, true}, {4, false}}));
}

TEST(MonitorRing, AnItemThatGivesUpEverythingCarriesTheMarkItself) {
  MonitorRing ring(100, kAdvancedFlagOffset);
  ring.append(advanced(1, 4));  // 32-byte node
  ring.append(advanced(2, 4));
  ring.append(advanced(3, 60));  // 88 bytes: wraps and covers both
  EXPECT_EQ(drain(ring, true), (std::vector<Seen>{{3, true}}));
}

TEST(MonitorRing, AnItemLargerThanTheRingIsLostButMarked) {
  MonitorRing ring(64, kAdvancedFlagOffset);
  ring.append(advanced(1, 4));
  ring.append(advanced(2, 40));  // 68 bytes
  EXPECT_EQ(drain(ring, true), (std::vector<Seen>{{1, true}}));
  ring.append(advanced(3, 40));  // lost with the ring empty: the next item kept tells
  ring.append(advanced(4, 4));
  EXPECT_EQ(drain(ring, true), (std::vector<Seen>{{4, true}}));
}

// Random item sizes, ring sizes and reads: items come out whole and in order, and every item that never comes out
// is told by an overflow mark on an item from the one before it on.
TEST(MonitorRing, NothingIsLostUnmarked) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const size_t ringSize = std::uniform_int_distribution<size_t>(32, 400)(random);
    MonitorRing ring(ringSize, kAdvancedFlagOffset);
    std::vector<Seen> read;
    std::vector<Bytes> sent;
    auto takeOldest = [&] {
      const auto item = ring.oldest();
      uint32_t stamp = 0;
      std::memcpy(&stamp, item.data() + 4, 4);
      Bytes whole(item.begin(), item.end());
      ring.dropOldest();
      ASSERT_LT(stamp, sent.size());
      const bool marked = (whole[kAdvancedFlagOffset] & kOverflowMark) != 0;
      whole[kAdvancedFlagOffset] &= static_cast<uint8_t>(~kOverflowMark);
      EXPECT_EQ(whole, sent[stamp]);
      read.push_back({stamp, marked});
    };
    for (int step = 0; step < 100; ++step) {
      const size_t dataLength = std::uniform_int_distribution<size_t>(0, ringSize / 2)(random);
      sent.push_back(advanced(static_cast<uint32_t>(sent.size()), dataLength));
      ring.append(sent.back());
      for (int reads = std::uniform_int_distribution<int>(0, 2)(random); reads > 0 && ring.holdsItems(); --reads) {
        takeOldest();
      }
    }
    sent.push_back(advanced(static_cast<uint32_t>(sent.size()), 0));  // tells of a loss that came last
    ring.append(sent.back());
    while (ring.holdsItems()) takeOldest();
    for (size_t i = 1; i < read.size(); ++i) ASSERT_LT(read[i - 1].stamp, read[i].stamp);
    std::vector<bool> came(sent.size());
    for (const Seen& seen : read) came[seen.stamp] = true;
    for (uint32_t lost = 0; lost < sent.size(); ++lost) {
      if (came[lost]) continue;
      const bool told = std::any_of(read.begin(), read.end(),
                                    [&](const Seen& seen) { return seen.marked && seen.stamp + 1 >= lost; });
      EXPECT_TRUE(told) << "ring of " << ringSize << ": item " << lost << " lost unmarked";
    }
  }
}

// ---- deliveries ----

Bytes regularDelivery(uint32_t announced, const std::vector<Bytes>& items) {
  Bytes delivery{5, 0, 0, 0};
  put32(delivery, announced);
  for (const Bytes& item : items) delivery.insert(delivery.end(), item.begin(), item.end());
  return delivery;
}

Bytes advancedDelivery(std::span<const uint8_t> payload, uint32_t carried, uint8_t bits,
                       std::optional<uint32_t> announced = std::nullopt) {
  Bytes delivery{6, 0, 0, 0};
  put32(delivery, announced.value_or(static_cast<uint32_t>(payload.size())));
  put32(delivery, carried);
  delivery.insert(delivery.end(), {bits, 0, 0, 0});
  delivery.insert(delivery.end(), payload.begin(), payload.end());
  return delivery;
}

TEST(RegularDeliveries, TheCountIsCutToTheItemsThatArrived) {
  MonitorRing ring(1000, kRegularFlagOffset);
  DeliveryParser parser(false);
  parser.take(regularDelivery(2, {regular(1, 0xA), regular(2, 0xB)}), ring);
  parser.take(regularDelivery(0, {}), ring);
  EXPECT_EQ(drain(ring), (std::vector<Seen>{{1, false}, {2, false}}));
  Bytes lying = regularDelivery(1000, {regular(3, 0xC)});
  lying.push_back(0xEE);  // half an item
  parser.take(lying, ring);
  parser.take(Bytes{5, 0, 0}, ring);
  EXPECT_EQ(drain(ring), (std::vector<Seen>{{3, true}}));
}

// Three items of 0, 5 and 300 data bytes, as one stream cut into deliveries of every size, and at every single place
// into two: the same items come out, none marked.
TEST(AdvancedDeliveries, ItemsCutAnywhereComeOutWhole) {
  const std::vector<Bytes> items = {advanced(10, 0), advanced(20, 5, 0x16), advanced(30, 300)};
  Bytes stream;
  for (const Bytes& item : items) stream.insert(stream.end(), item.begin(), item.end());
  const std::vector<Seen> expected = {{10, false}, {20, false}, {30, false}};

  // Items end where the stream's pieces say; a piece starts an item when an item ended exactly before it.
  auto feedInPieces = [&](const std::vector<size_t>& cuts) {
    MonitorRing ring(4096, kAdvancedFlagOffset);
    DeliveryParser parser(true);
    std::vector<size_t> itemEnds;
    size_t end = 0;
    for (const Bytes& item : items) itemEnds.push_back(end += item.size());
    size_t begin = 0;
    uint32_t carried = 0;
    for (size_t cut : cuts) {
      const bool starts = begin == 0 || std::find(itemEnds.begin(), itemEnds.end(), begin) != itemEnds.end();
      const bool endsInside = std::find(itemEnds.begin(), itemEnds.end(), cut) == itemEnds.end();
      if (starts) carried = 0;
      parser.take(advancedDelivery(std::span(stream).subspan(begin, cut - begin), carried,
                                   static_cast<uint8_t>((starts ? 1 : 0) | (endsInside ? 2 : 0))),
                  ring);
      // The bytes of the item still open at the cut that this and earlier deliveries carried.
      size_t itemStart = 0;
      for (size_t itemEnd : itemEnds) {
        if (itemEnd > cut) break;
        itemStart = itemEnd;
      }
      carried = static_cast<uint32_t>(cut - itemStart);
      begin = cut;
    }
    return drain(ring, true);
  };

  for (size_t piece = 1; piece <= stream.size(); ++piece) {
    std::vector<size_t> cuts;
    for (size_t cut = piece; cut < stream.size(); cut += piece) cuts.push_back(cut);
    cuts.push_back(stream.size());
    EXPECT_EQ(feedInPieces(cuts), expected) << "pieces of " << piece;
  }
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    EXPECT_EQ(feedInPieces({cut, stream.size()}), expected) << "cut at " << cut;
  }
}

// Broken deliveries: whatever cannot become an item marks the newest item kept, and the parser never reads past
// what arrived nor loops.
TEST(AdvancedDeliveries, MalformedDeliveriesAreMarkedNotTrusted) {
  struct Case {
    const char* name;
    std::vector<Bytes> deliveries;
    std::vector<Seen> seen;
  };
  const Bytes good = advanced(1, 3);
  Bytes zeroLength = advanced(2, 3);
  zeroLength[0] = 0;
  Bytes dataTooLong = advanced(2, 3);
  dataTooLong[10] = 200;
  Bytes twoItems = good;
  const Bytes second = advanced(5, 8);
  twoItems.insert(twoItems.end(), second.begin(), second.end());
  const auto payload = [](const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
  };
  const std::vector<Case> cases = {
      {"item length 0", {advancedDelivery(payload(good, zeroLength), 0, 1)}, {{1, true}}},
      {"data longer than its item", {advancedDelivery(payload(good, dataTooLong), 0, 1)}, {{1, true}}},
      {"payload length beyond the delivery", {advancedDelivery(twoItems, 0, 1, 1000)}, {{1, false}, {5, true}}},
      {"cut without bit 1", {advancedDelivery(std::span(twoItems).first(30), 0, 1)}, {{1, true}}},
      {"continuation never started", {advancedDelivery(good, 7, 0), advancedDelivery(good, 0, 1)}, {{1, true}}},
      {"continuation of another length",
       {advancedDelivery(std::span(second).first(10), 0, 3), advancedDelivery(std::span(second).subspan(10), 4, 0),
        advancedDelivery(good, 0, 1)},
       {{1, true}}},
      {"split item never ended",
       {advancedDelivery(std::span(second).first(10), 0, 3), advancedDelivery(good, 0, 1)},
       {{1, true}}},
      {"a head only", {Bytes{6, 0, 0}, advancedDelivery(good, 0, 1)}, {{1, true}}},
      {"a regular delivery", {regularDelivery(1, {regular(9, 9)}), advancedDelivery(good, 0, 1)}, {{1, true}}},
  };
  for (const Case& c : cases) {
    MonitorRing ring(1000, kAdvancedFlagOffset);
    DeliveryParser parser(true);
    for (const Bytes& delivery : c.deliveries) parser.take(delivery, ring);
    EXPECT_EQ(drain(ring, true), c.seen) << c.name;
  }
}

TEST(ApplicationItems, StampsFlagsAndSizes) {
  const Qor_KLine_Monitor_RegularItem_t item = regularItem(regular(3, 0x5A, 0x86));
  EXPECT_EQ(uint64_t{item.timeStamp}, 1200u);  // a copy: the field lies 4-aligned
  EXPECT_EQ(item.flags, 1u | 2u | 8u);  // bits 1, 2 and 7; bit 4 clear
  EXPECT_EQ(item.data, 0x5A);
  EXPECT_EQ(applicationFlags(0x10), 4u);
  const Bytes five = advanced(7, 5, 0x02);
  EXPECT_EQ(advancedItemSize(five), 24u);
  Bytes out(24, 0xCC);
  writeAdvancedItem(five, out.data());
  const Bytes expected = {24, 0, 0, 0, 1, 0, 5, 0, 0xF0, 0x0A, 0, 0, 0, 0, 0, 0, 7, 8, 9, 10, 11, 0, 0, 0};
  EXPECT_EQ(out, expected);
  EXPECT_EQ(advancedItemSize(advanced(7, 0)), 16u);
  EXPECT_EQ(advancedItemSize(advanced(7, 4)), 20u);
}

}  // namespace
}  // namespace qor::kline
