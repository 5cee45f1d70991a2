// The kit's pieces that need no port: records, answers, pieces and polls.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/pieces.hpp"
#include "qor_kit/poll.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::kit {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(RecordWriter, PacksLittleEndianAndPads) {
  RecordWriter record(32);
  record.u32(0x0C0B0A09).u16(0x0201).u8(7).padTo4().u64(0x1122334455667788).bytes(Bytes{0xAA, 0xBB}).zeros(2);
  const Bytes expected{0x09, 0x0A, 0x0B, 0x0C, 0x01, 0x02, 0x07, 0x00, 0x88, 0x77, 0x66,
                       0x55, 0x44, 0x33, 0x22, 0x11, 0xAA, 0xBB, 0x00, 0x00};
  EXPECT_EQ(Bytes(record.view().begin(), record.view().end()), expected);
  EXPECT_FALSE(record.overflowed());
}

TEST(RecordWriter, WritingPastTheCapacityWritesNothingAndStaysRefused) {
  RecordWriter record(6);
  record.u32(1).u32(2);  // the second word does not fit
  EXPECT_TRUE(record.overflowed());
  EXPECT_EQ(record.size(), 4u);
  record.u8(3);  // would fit, but the record is already refused
  EXPECT_EQ(record.size(), 4u);
  EXPECT_TRUE(record.overflowed());

  RecordWriter exact(4);
  exact.zeros(4);
  EXPECT_FALSE(exact.overflowed());
  exact.zeros(1);
  EXPECT_TRUE(exact.overflowed());
}

TEST(AnswerReader, ReadsInsideAndMarksReadsPastTheEnd) {
  const Bytes answer{1, 0, 0, 0, 0x34, 0x12, 9};
  AnswerReader reader(answer);
  EXPECT_EQ(reader.u32(0), 1u);
  EXPECT_EQ(reader.u16(4), 0x1234u);
  EXPECT_TRUE(reader.complete());
  EXPECT_TRUE(reader.has(7));
  EXPECT_FALSE(reader.has(8));
  EXPECT_EQ(reader.u32(4), 0u);  // three bytes are left
  EXPECT_FALSE(reader.complete());

  AnswerReader spans(answer);
  EXPECT_EQ(spans.bytes(4, 3).size(), 3u);
  EXPECT_TRUE(spans.bytes(5, 3).empty());
  EXPECT_FALSE(spans.complete());
  EXPECT_EQ(spans.rest(6).size(), 1u);
  EXPECT_TRUE(spans.rest(100).empty());
}

TEST(AnswerReader, CountsAreCutToTheItemsThatArrived) {
  const Bytes answer(40 + 2 * 3 + 1);  // three whole pairs after a head of 40, and one stray byte
  const AnswerReader reader(answer);
  EXPECT_EQ(reader.itemsThatFit(1000, 40, 2), 3u);
  EXPECT_EQ(reader.itemsThatFit(2, 40, 2), 2u);
  EXPECT_EQ(reader.itemsThatFit(5, 60, 2), 0u);
}

TEST(Pieces, SplitsIntoPiecesInOrderAndStopsAtTheFirstFailure) {
  struct Case {
    uint32_t total;
    uint32_t piece;
    std::vector<std::pair<uint32_t, uint32_t>> expected;
  };
  const Case cases[] = {
      {2000, 1000, {{0, 1000}, {1000, 1000}}},
      {2000, 1004, {{0, 1004}, {1004, 996}}},
      {5, 10, {{0, 5}}},
      {0, 10, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<uint32_t, uint32_t>> seen;
    EXPECT_EQ(forEachPiece(c.total, c.piece, [&](uint32_t offset, uint32_t length) {
                seen.emplace_back(offset, length);
                return 0u;
              }),
              0u);
    EXPECT_EQ(seen, c.expected) << c.total << " in pieces of " << c.piece;
  }

  std::vector<uint32_t> offsets;
  EXPECT_EQ(forEachPiece(30, 10,
                         [&](uint32_t offset, uint32_t) {
                           offsets.push_back(offset);
                           return offset == 10 ? 0x1Fu : 0u;
                         }),
            0x1Fu);
  EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 10}));

  // Pieces of no bytes would never end the transfer: refused before the first step.
  bool stepped = false;
  EXPECT_NE(forEachPiece(5, 0, [&](uint32_t, uint32_t) { return stepped = true, 0u; }), 0u);
  EXPECT_FALSE(stepped);
}

TEST(Poll, EndsWithTheStepsCodeOrWhenTheTimeRunsOut) {
  int tries = 0;
  EXPECT_EQ(pollUntil(1000, 1, [&]() -> std::optional<uint32_t> {
              return ++tries == 3 ? std::optional<uint32_t>(0) : std::nullopt;
            }),
            std::optional<uint32_t>(0));
  EXPECT_EQ(tries, 3);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pollUntil(30, 1, []() -> std::optional<uint32_t> { return std::nullopt; }), std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(Poll, AnEarlierStartShortensTheWaitButTheStepStillRunsOnce) {
  using namespace std::chrono_literals;
  const auto start = std::chrono::steady_clock::now() - 50ms;
  int tries = 0;
  EXPECT_EQ(pollUntil(start, 20, 1, [&]() -> std::optional<uint32_t> { return ++tries, std::nullopt; }),
            std::nullopt);
  EXPECT_EQ(tries, 1) << "the time-out had passed before the first try";
  EXPECT_EQ(pollUntil(start, 20, 1, []() -> std::optional<uint32_t> { return 7; }), std::optional<uint32_t>(7));
}

}  // namespace
}  // namespace qor::kit
