// The bounded piece collector against hand-made piece streams: whole, lost, repeated, out of order and oversized.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "qor_kit/piece_collector.hpp"

namespace qor::kit {
namespace {

using Append = PieceCollector::Append;
using Bytes = std::vector<uint8_t>;

// Bytes 0, 1, 2, ... of a message, from offset on.
Bytes slice(uint32_t offset, uint32_t length) {
  Bytes bytes(length);
  std::iota(bytes.begin(), bytes.end(), static_cast<uint8_t>(offset));
  return bytes;
}

struct Piece {
  std::optional<uint32_t> position;  // empty: appended without a position check
  uint32_t offset;                   // where its bytes come from in the message
  uint32_t length;
  Append expected;
};

struct StreamCase {
  const char* name;
  uint32_t total;
  std::vector<Piece> pieces;
  bool complete;
  uint32_t collected;
};

class PieceStreams : public testing::TestWithParam<StreamCase> {};

TEST_P(PieceStreams, CollectOnlyWhatFitsAndInPlace) {
  const StreamCase& c = GetParam();
  std::array<uint8_t, 16> storage{};  // an area of 12 bytes and 4 that must stay untouched
  std::span<uint8_t> area(storage.data(), 12);
  PieceTally tally{};
  PieceCollector collector(area, tally);
  collector.begin(c.total);
  for (const Piece& piece : c.pieces) {
    const Bytes bytes = slice(piece.offset, piece.length);
    const Append result = piece.position ? collector.appendAt(*piece.position, bytes) : collector.append(bytes);
    EXPECT_EQ(result, piece.expected) << "piece at " << piece.offset;
  }
  EXPECT_EQ(collector.complete(), c.complete);
  EXPECT_EQ(collector.collected(), c.collected);
  if (c.complete) {
    EXPECT_EQ(Bytes(collector.data().begin(), collector.data().end()), slice(0, c.total));
  }
  for (size_t i = 12; i < storage.size(); ++i) EXPECT_EQ(storage[i], 0) << "written past the area at " << i;
}

const std::optional<uint32_t> kNoCheck;

std::string caseName(const testing::TestParamInfo<StreamCase>& param) {
  std::string name = param.param.name;
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PieceStreams,
    testing::Values(
        StreamCase{"whole", 10, {{kNoCheck, 0, 4, Append::kStored}, {kNoCheck, 4, 6, Append::kStored}}, true, 10},
        StreamCase{"positioned", 10, {{0, 0, 4, Append::kStored}, {4, 4, 6, Append::kStored}}, true, 10},
        StreamCase{"lost", 10, {{0, 0, 4, Append::kStored}, {7, 7, 3, Append::kMisplaced}}, false, 4},
        StreamCase{"repeated", 10,
                   {{0, 0, 4, Append::kStored}, {0, 0, 4, Append::kMisplaced}, {4, 4, 6, Append::kStored}}, true, 10},
        StreamCase{"out of order", 10, {{4, 4, 6, Append::kMisplaced}, {0, 0, 4, Append::kStored}}, false, 4},
        StreamCase{"past the total", 10, {{kNoCheck, 0, 8, Append::kStored}, {kNoCheck, 8, 4, Append::kPastTotal}},
                   false, 8},
        StreamCase{"total beyond the area", 20,
                   {{kNoCheck, 0, 12, Append::kDrained}, {kNoCheck, 12, 8, Append::kDrained},
                    {kNoCheck, 20, 1, Append::kPastTotal}},
                   false, 20},
        StreamCase{"open total beyond the area", PieceCollector::kOpenTotal,
                   {{kNoCheck, 0, 8, Append::kStored}, {kNoCheck, 8, 8, Append::kDrained},
                    {kNoCheck, 16, 2, Append::kDrained}},
                   false, 18},
        StreamCase{"empty message", 0, {}, true, 0}),
    caseName);

TEST(PieceCollector, OpenTotalKeepsTheStoredBytesUntilItOverflows) {
  std::array<uint8_t, 8> area{};
  PieceTally tally{};
  PieceCollector collector(area, tally);
  collector.begin();
  EXPECT_EQ(collector.append(slice(0, 5)), Append::kStored);
  EXPECT_FALSE(collector.complete());  // nobody said how long it is
  EXPECT_EQ(Bytes(collector.data().begin(), collector.data().end()), slice(0, 5));
  EXPECT_EQ(collector.append(slice(5, 4)), Append::kDrained);
  EXPECT_TRUE(collector.draining());
  EXPECT_TRUE(collector.data().empty());
  EXPECT_EQ(collector.collected(), 9u);
}

TEST(PieceCollector, DrainAndDropEndTheCollection) {
  std::array<uint8_t, 8> area{};
  PieceTally tally{};
  PieceCollector collector(area, tally);
  EXPECT_TRUE(collector.idle());
  EXPECT_EQ(collector.append(slice(0, 1)), Append::kMisplaced);  // nothing begun

  collector.begin(6);
  EXPECT_EQ(collector.append(slice(0, 2)), Append::kStored);
  collector.drain();
  EXPECT_EQ(collector.append(slice(2, 4)), Append::kDrained);
  EXPECT_FALSE(collector.complete());
  EXPECT_EQ(collector.collected(), 6u);

  collector.drop();
  EXPECT_TRUE(collector.idle());
  EXPECT_EQ(collector.appendAt(0, slice(0, 1)), Append::kMisplaced);
}

TEST(PieceCollector, TheTallyCarriesTheCollectionBetweenViews) {
  std::array<uint8_t, 8> area{};
  PieceTally tally{};
  PieceCollector(area, tally).begin(4);
  EXPECT_EQ(PieceCollector(area, tally).appendAt(0, slice(0, 2)), Append::kStored);
  PieceCollector later(area, tally);
  EXPECT_EQ(later.appendAt(2, slice(2, 2)), Append::kStored);
  EXPECT_TRUE(later.complete());
}

}  // namespace
}  // namespace qor::kit
