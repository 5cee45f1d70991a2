// The kit's pieces that need no port: records, answers, pieces, chunks, polls, monitor items and the byte ring.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/byte_ring.hpp"
#include "qor_kit/chunk_packer.hpp"
#include "qor_kit/diagnostic_config.hpp"
#include "qor_kit/monitor_items.hpp"
#include "qor_kit/monitor_session.hpp"
#include "qor_kit/pieces.hpp"
#include "qor_kit/poll.hpp"
#include "qor_kit/record_writer.hpp"
#include "qor_kit/transport_setup.hpp"

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

using Chunks = std::vector<std::pair<uint32_t, uint32_t>>;  // first entry, entries

TEST(ChunkPacker, FillsChunksUnderTheLimitAndRefusesAnOversizeEntryUpFront) {
  const std::vector<uint32_t> sizes{40, 30, 30, 50, 10, 100, 1};
  const ChunkPacker packer(7, 100, [&](uint32_t index) { return sizes[index]; });
  EXPECT_EQ(packer.oversizeEntry(), std::nullopt);
  Chunks sent;
  EXPECT_EQ(packer.sendAll([&](uint32_t first, uint32_t entries) {
    sent.emplace_back(first, entries);
    return 0u;
  }),
            0u);
  EXPECT_EQ(sent, (Chunks{{0, 3}, {3, 2}, {5, 1}, {6, 1}})) << "exactly full chunks included";

  const ChunkPacker oversize(3, 100, [](uint32_t index) { return index == 1 ? 101u : 10u; });
  EXPECT_EQ(oversize.oversizeEntry(), 1u);
  EXPECT_EQ(oversize.entriesFrom(1), 1u) << "alone, so the record's capacity refuses it rather than a loop";

  const ChunkPacker none(0, 100, [](uint32_t) { return 10u; });
  EXPECT_EQ(none.sendAll([](uint32_t, uint32_t) { return 1u; }), 0u) << "no entries, no chunk";
}

TEST(ChunkPacker, ASlotBudgetCutsChunksAndIsRefilledWhenSpent) {
  const ChunkPacker packer(5, 1000, [](uint32_t) { return 10u; });
  std::vector<uint32_t> firmwareSlots{3, 0, 4};  // what each chunk's answer leaves free
  Chunks sent;
  int refills = 0;
  const uint32_t code = packer.sendAll(
      [&](uint32_t& slots) {
        ++refills;
        slots = 2;
        return 0u;
      },
      [&](uint32_t first, uint32_t entries, uint32_t& slots) {
        sent.emplace_back(first, entries);
        slots = firmwareSlots[sent.size() - 1];
        return 0u;
      });
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(sent, (Chunks{{0, 2}, {2, 3}})) << "the answer's free slots carry on";
  EXPECT_EQ(refills, 1);

  sent.clear();
  EXPECT_EQ(packer.sendAll([](uint32_t& slots) { return slots = 1, 0u; },
                           [&](uint32_t first, uint32_t entries, uint32_t& slots) {
                             sent.emplace_back(first, entries);
                             slots = 0;
                             return first == 2 ? 0x1Fu : 0u;
                           }),
            0x1Fu);
  EXPECT_EQ(sent, (Chunks{{0, 1}, {1, 1}, {2, 1}})) << "stops at the first failing chunk";
  EXPECT_EQ(packer.sendAll([](uint32_t&) { return 0x2Au; }, [](uint32_t, uint32_t, uint32_t&) { return 0u; }), 0x2Au)
      << "a failed wait ends the call";
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

// Items of one length byte and that many data bytes, padded to even steps.
std::optional<ItemExtent> lengthByteItem(std::span<const uint8_t> rest) {
  const size_t bytes = 1 + rest[0];
  if (rest[0] > 4) return std::nullopt;
  return ItemExtent{bytes, (bytes + 1) & ~size_t{1}};
}

TEST(WalkItems, VisitsWholeItemsAndStopsAtCutOrMalformedOnes) {
  struct Case {
    const char* name;
    Bytes block;
    size_t visited;
    WalkEnd end;
  };
  const Case cases[] = {
      {"empty block", {}, 0, WalkEnd::Complete},
      {"two items, the last without its padding", {2, 0xA, 0xB, 0, 0, 0xC}, 2, WalkEnd::Complete},
      {"the last item's data cut", {1, 0xA, 3, 0xB}, 1, WalkEnd::Broken},
      {"a length beyond any item", {1, 0xA, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, WalkEnd::Broken},
  };
  for (const Case& c : cases) {
    size_t visited = 0;
    const WalkEnd end = walkItems(c.block, 1, lengthByteItem, [&](std::span<const uint8_t> item) {
      EXPECT_EQ(item.size(), 1u + item[0]) << c.name;
      ++visited;
      return true;
    });
    EXPECT_EQ(visited, c.visited) << c.name;
    EXPECT_EQ(end, c.end) << c.name;
  }
  size_t visited = 0;
  EXPECT_EQ(walkItems(Bytes{0, 0, 0}, 1, lengthByteItem, [&](auto) { return ++visited < 1; }), WalkEnd::Stopped);
  EXPECT_EQ(visited, 1u);
}

TEST(ScaledTime, CountsOfUnitsDoNotOverflow) { EXPECT_EQ(scaledTimeNs(0xFFFFFFFFu, 10000), 42949672950000ull); }

struct CountingSession : MonitorSession {
  explicit CountingSession(int& destroyed) : destroyed_(destroyed) {}
  ~CountingSession() override { ++destroyed_; }
  void deliver(uint32_t, std::span<const uint8_t> block) override { bytes += block.size(); }
  size_t bytes = 0;
  int& destroyed_;
};

TEST(MonitorSession, BlocksBeforeTheSessionIsInstalledAreDroppedAndTheCleanUpTakesIt) {
  alignas(MonitorSession*) uint8_t context[kMonitorSessionContextBytes] = {};
  const uint8_t block[3] = {1, 2, 3};
  deliverToSession(0, context, block, sizeof block);  // nothing installed yet: dropped
  int destroyed = 0;
  auto owned = std::make_unique<CountingSession>(destroyed);
  CountingSession* session = owned.get();
  installSession(context, std::move(owned));
  deliverToSession(0, context, block, sizeof block);
  EXPECT_EQ(session->bytes, 3u);
  EXPECT_EQ(sessionIn(context), session);
  EXPECT_EQ(sessionIn(nullptr), nullptr);
  takeSession(context).reset();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(sessionIn(context), nullptr);
  deliverToSession(0, context, block, sizeof block);  // gone: dropped
}

uint8_t gClosedInstance = 0xFF;
void rememberClosed(uint32_t, uint8_t instance, void*) { gClosedInstance = instance; }

TEST(MonitorSession, EachInstanceGetsACleanUpThatNamesIt) {
  for (uint8_t instance = 0; instance < QOR_MONITOR_INSTANCES; ++instance) {
    instanceCleanup<rememberClosed>(instance)(7, nullptr);
    EXPECT_EQ(gClosedInstance, instance);
  }
  EXPECT_EQ(instanceCleanup<rememberClosed>(QOR_MONITOR_INSTANCES), nullptr);
}

TEST(ByteRing, RecordsGoInWholeAndComeOutAcrossTheWrapInOrder) {
  ByteRing ring(10);
  EXPECT_TRUE(ring.push(Bytes{1, 2, 3, 4, 5, 6}));
  ring.pop(4);
  // 4 bytes to the end, the rest from the start: the head of the record straddles the wrap too.
  EXPECT_TRUE(ring.push(Bytes{7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(ring.used(), 8u);
  EXPECT_EQ(ring.writeOffset(), 2u);
  EXPECT_FALSE(ring.push(Bytes{13, 14, 15})) << "3 bytes do not fit into 2";
  EXPECT_EQ(ring.used(), 8u) << "a refused record leaves nothing behind";
  Bytes head(4);
  EXPECT_TRUE(ring.peek(2, head));
  EXPECT_EQ(head, (Bytes{7, 8, 9, 10}));
  Bytes all(8);
  EXPECT_TRUE(ring.peek(0, all));
  EXPECT_EQ(all, (Bytes{5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_FALSE(ring.peek(5, all)) << "beyond the bytes held";
  EXPECT_TRUE(ring.push(Bytes{13, 14}));
  EXPECT_EQ(ring.free(), 0u);
  EXPECT_EQ(ring.writeOffset(), 4u);
  ring.pop(100);
  EXPECT_EQ(ring.used(), 0u);
  EXPECT_THROW(ByteRing(0), std::invalid_argument);
}

TEST(ByteRing, ARecordEndingAtTheEndLeavesTheWriteOffsetAtTheStart) {
  ByteRing ring(8);
  EXPECT_TRUE(ring.push(Bytes(8, 0xAA)));
  EXPECT_EQ(ring.writeOffset(), 0u);
  ring.pop(8);
  EXPECT_TRUE(ring.push(Bytes{1, 2, 3}));
  EXPECT_EQ(ring.writeOffset(), 3u);
}

TEST(DiagnosticConfig, TheUdsRecordSendsOnlyTheMessageBytesOfItsLengthAfterTheHead) {
  const uint8_t message[8] = {0x3E, 0x80, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  const UdsSettings settings{1, {0x1211, 0x1413, 0x1615}, 0x1817, 0x81, 2, message};
  const RecordWriter full = udsRecord({5, 2, 1, 0x04030201, 0x0F}, settings);
  const Bytes expected{5,    2,    1,    0,    0x01, 0x02, 0x03, 0x04, 0x0F, 0, 0, 0, 1, 0, 0, 0, 0x11, 0x12,
                       0x13, 0x14, 0x15, 0x16, 0,    0,    0x17, 0x18, 0x81, 2, 0x3E, 0x80, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(full.view().begin(), full.view().end()), expected);

  RecordWriter other = diagnosticRecord({7, 1, 0, 9, 0}, 16);
  other.u16(0xBBAA);
  EXPECT_EQ(Bytes(other.view().begin(), other.view().end()), (Bytes{7, 1, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB}));
}

// Four modes run, four others are refused as not for this configuration, every other of the 256 is unknown.
TEST(DiagnosticConfig, TesterPresentModesFallIntoThreeClasses) {
  for (uint8_t mode : {0x00, 0x01, 0x80, 0x81}) {
    EXPECT_EQ(classifyTesterPresentMode(mode), TesterPresentMode::Accepted) << int{mode};
  }
  for (uint8_t mode : {0x40, 0x41, 0xC0, 0xC1}) {
    EXPECT_EQ(classifyTesterPresentMode(mode), TesterPresentMode::InvalidForConfiguration) << int{mode};
  }
  size_t unknown = 0;
  for (unsigned mode = 0; mode < 256; ++mode) {
    unknown += classifyTesterPresentMode(static_cast<uint8_t>(mode)) == TesterPresentMode::Unknown;
  }
  EXPECT_EQ(unknown, 248u);
}

TEST(TransportSetup, TheHeadLeavesTheRestToTheProtocol) {
  RecordWriter record = transportSetupRecord(16, 4, 0x0201, 0x0403);
  record.u16(0xBBAA);
  EXPECT_EQ(Bytes(record.view().begin(), record.view().end()),
            (Bytes{3, 4, 0, 0, 0x01, 0x02, 0, 0, 0x03, 0x04, 0, 0, 0xAA, 0xBB}));
  EXPECT_EQ(record.room(), 2u);
}

}  // namespace
}  // namespace qor::kit
