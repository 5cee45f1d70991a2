// The readers of the trace channels' poll answers against hand-made answers of the four buses: whole answers, cut
// ones, zero lengths, counts and lengths that lie. Every walk ends, reads nothing past the answer and marks the last
// record before a loss as overrun.
#include <gtest/gtest.h>

#include <utility>

#include "poll_reader.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;
using test::join;
using test::le;

constexpr uint32_t kChannel = 7;

// Cut or padded with zeros to size.
Bytes padded(Bytes bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

Bytes canItem(uint64_t time, uint32_t identifier, Bytes data, uint8_t lengthByte = 0xFF) {
  const size_t step = (data.size() + 19) & ~size_t{3};
  const uint8_t length = lengthByte == 0xFF ? static_cast<uint8_t>(data.size()) : lengthByte;
  return padded(join({le(time, 8), le(identifier, 4), le(0, 2), {length, length}, data}), step);
}

Bytes linItem(uint64_t time, uint8_t identifier, Bytes bytes, uint16_t itemLength = 0xFFFF) {
  const uint16_t length = itemLength == 0xFFFF ? static_cast<uint16_t>(20 + bytes.size()) : itemLength;
  return join({le(length, 2), le(0, 2), le(time, 8), {0, static_cast<uint8_t>(bytes.size()), identifier, 0},
               le(1000, 4), bytes});
}

// A FlexRay entry: type, then the bytes from entry offset 12 on; padded to a multiple of 4.
Bytes flexRayItem(uint64_t time, uint16_t type, Bytes rest, uint16_t itemLength = 0xFFFF) {
  const uint16_t length = itemLength == 0xFFFF ? static_cast<uint16_t>(12 + rest.size()) : itemLength;
  const Bytes item = join({le(length, 2), le(type, 2), le(time, 8), rest});
  return padded(item, (item.size() + 3) & ~size_t{3});
}

Bytes ethernetItem(uint64_t time, Bytes frame, uint16_t itemLength = 0xFFFF) {
  const uint16_t length = itemLength == 0xFFFF ? static_cast<uint16_t>(16 + frame.size()) : itemLength;
  return join({le(length, 2), le(1, 2), le(time, 8), {0, 0}, le(frame.size(), 2), frame});
}

Bytes canAnswer(std::initializer_list<Bytes> items) { return join({{0x0F, 0, 0, 0}, join(items)}); }
Bytes linAnswer(uint16_t count, std::initializer_list<Bytes> items) {
  return join({{0x0E, 0, 0, 0}, le(count, 2), le(0, 2), join(items)});
}
Bytes flexRayAnswer(std::initializer_list<Bytes> items) { return join({{0x03, 0, 0, 0, 0, 0, 0, 0}, join(items)}); }
Bytes ethernetAnswer(uint16_t count, std::initializer_list<Bytes> items) {
  return join({{0x03, 0, 0, 0}, le(count, 2), le(0, 2), join(items)});
}

bool overrun(const TraceEntry& entry) {
  const auto record = entry.record();
  switch (entry.busType()) {
    case QOR_TRACE_BUS_CAN: return record[offsetof(Qor_Trace_Entry_Can_t, flags)] & QOR_TRACE_CAN_BUFFER_OVERRUN;
    case QOR_TRACE_BUS_LIN: return record[offsetof(Qor_Trace_Entry_Lin_t, status)] & 0x80;
    default: return fieldAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, itemType)) == 0;
  }
}

struct PollCase {
  const char* name;
  uint8_t busType;
  Bytes answer;
  std::vector<uint64_t> times;  // the batch in order
  std::vector<std::pair<uint32_t, uint64_t>> list;  // key and the time of the record it holds
  bool lastOverrun;
};

class PollReaderTest : public ::testing::TestWithParam<PollCase> {};

TEST_P(PollReaderTest, ReadsWhatTheAnswerHoldsAndNoMore) {
  const PollCase& row = GetParam();
  const PollRound round = readPollAnswer(row.busType, kChannel, row.answer);
  std::vector<uint64_t> times;
  for (const auto& [time, entry] : round.batch) {
    times.push_back(entry->timestamp());
    EXPECT_EQ(time, entry->timestamp());
    EXPECT_EQ(entry->channelId(), kChannel);
    EXPECT_EQ(entry->busType(), row.busType);
  }
  EXPECT_EQ(times, row.times);
  std::map<uint32_t, uint64_t> latest;
  for (const auto& occurrence : round.list) {
    for (const auto& [key, entry] : occurrence) {
      EXPECT_EQ(key.first, kChannel);
      latest[key.second] = entry->timestamp();
    }
  }
  const std::vector<std::pair<uint32_t, uint64_t>> list(latest.begin(), latest.end());
  EXPECT_EQ(list, row.list);
  for (auto entry = round.batch.begin(); entry != round.batch.end(); ++entry) {
    const bool last = std::next(entry) == round.batch.end();
    EXPECT_EQ(overrun(*entry->second), last && row.lastOverrun) << "record at " << entry->first;
  }
}

const Bytes kEight = {1, 2, 3, 4, 5, 6, 7, 8};

INSTANTIATE_TEST_SUITE_P(
    Answers, PollReaderTest,
    ::testing::Values(
        PollCase{"CanInTimeOrderLastOfAnIdentifierListed", QOR_TRACE_BUS_CAN,
                 canAnswer({canItem(20, 0x100, kEight), canItem(10, 0x100, {1}), canItem(15, 0x7FF, {})}),
                 {10, 15, 20}, {{0x100, 10}, {0x7FF, 15}}, false},
        PollCase{"CanHeadOnly", QOR_TRACE_BUS_CAN, canAnswer({}), {}, {}, false},
        PollCase{"CanLastItemsPaddingPastTheEnd", QOR_TRACE_BUS_CAN,
                 padded(canAnswer({canItem(5, 1, {1})}), 4 + 17),
                 {5}, {{1, 5}}, false},
        PollCase{"CanDataLengthPastTheAnswer", QOR_TRACE_BUS_CAN,
                 canAnswer({canItem(5, 1, kEight), canItem(6, 2, kEight, 64)}), {5}, {{1, 5}}, true},
        PollCase{"CanCutHead", QOR_TRACE_BUS_CAN, canAnswer({canItem(5, 1, {}), Bytes(10, 0)}), {5}, {{1, 5}}, true},
        PollCase{"LinCounted", QOR_TRACE_BUS_LIN,
                 linAnswer(2, {linItem(30, 0x11, {1, 2, 3}), linItem(40, 0x22, {4})}), {30, 40},
                 {{0x11, 30}, {0x22, 40}}, false},
        PollCase{"LinCountZero", QOR_TRACE_BUS_LIN, linAnswer(0, {linItem(30, 0x11, {1})}), {}, {}, false},
        PollCase{"LinItemsBeyondTheCountLeftAlone", QOR_TRACE_BUS_LIN,
                 linAnswer(1, {linItem(30, 0x11, {1}), linItem(40, 0x22, {4})}), {30}, {{0x11, 30}}, false},
        PollCase{"LinZeroLengthEndsTheWalk", QOR_TRACE_BUS_LIN,
                 linAnswer(3, {linItem(30, 0x11, {1}), linItem(40, 0x22, {4}, 0), linItem(50, 0x33, {5})}), {30},
                 {{0x11, 30}}, true},
        PollCase{"LinCountAboveTheItems", QOR_TRACE_BUS_LIN,
                 linAnswer(3, {linItem(30, 0x11, {1}), linItem(40, 0x22, {4})}), {30, 40},
                 {{0x11, 30}, {0x22, 40}}, true},
        PollCase{"LinLengthPastTheAnswer", QOR_TRACE_BUS_LIN, linAnswer(1, {linItem(30, 0x11, {1}, 200)}), {}, {},
                 false},
        PollCase{"LinCutCount", QOR_TRACE_BUS_LIN, Bytes{0x0E, 0, 0, 0, 2}, {}, {}, false},
        PollCase{"FlexRayListsSlotsAndEventCodes", QOR_TRACE_BUS_FLEXRAY,
                 flexRayAnswer({flexRayItem(100, 1, join({{0, 0}, le(17, 2), {3, 2}, le(0, 2), {9, 9, 9, 9}})),
                                flexRayItem(110, 4, le(0, 4)), flexRayItem(120, 8, join({le(0x44, 2), le(0, 2)})),
                                flexRayItem(130, 2, join({{0, 0}, le(17, 2), {4, 0}, le(0, 2)}))}),
                 {100, 110, 120, 130}, {{17, 130}, {0x44, 120}}, false},
        PollCase{"FlexRayZeroLengthEndsTheWalk", QOR_TRACE_BUS_FLEXRAY,
                 flexRayAnswer({flexRayItem(100, 4, le(0, 4)), flexRayItem(110, 4, le(0, 4), 0)}), {100}, {}, true},
        PollCase{"FlexRayFirstEntryZeroLength", QOR_TRACE_BUS_FLEXRAY,
                 flexRayAnswer({flexRayItem(100, 4, le(0, 4), 0)}), {}, {}, false},
        PollCase{"FlexRayShorterThanItsHead", QOR_TRACE_BUS_FLEXRAY,
                 flexRayAnswer({flexRayItem(100, 4, le(0, 4)), flexRayItem(110, 4, {}, 8)}), {100}, {}, true},
        PollCase{"EthernetNeverListed", QOR_TRACE_BUS_ETHERNET,
                 ethernetAnswer(2, {ethernetItem(7, Bytes(60, 0xAB)), ethernetItem(7, Bytes(14, 0xCD))}), {7, 7},
                 {}, false},
        PollCase{"EthernetLengthPastTheAnswer", QOR_TRACE_BUS_ETHERNET,
                 ethernetAnswer(2, {ethernetItem(7, Bytes(60, 0xAB)), ethernetItem(8, Bytes(14, 0xCD), 500)}), {7},
                 {}, true},
        PollCase{"EthernetZeroLength", QOR_TRACE_BUS_ETHERNET,
                 ethernetAnswer(2, {ethernetItem(7, Bytes(60, 0xAB)), ethernetItem(8, {}, 0)}), {7}, {}, true}),
    [](const ::testing::TestParamInfo<PollCase>& row) { return std::string(row.param.name); });

// A key that comes again in the same poll: each of its items in its own step, in the order read.
TEST(PollReader, RepeatedKeysInReadOrder) {
  const PollRound round = readPollAnswer(
      QOR_TRACE_BUS_CAN, kChannel,
      canAnswer({canItem(30, 1, {}), canItem(10, 2, {}), canItem(20, 1, {}), canItem(40, 1, {})}));
  ASSERT_EQ(round.list.size(), 3u);
  EXPECT_EQ(round.list[0].size(), 2u);
  EXPECT_EQ(round.list[0].at({kChannel, 1})->timestamp(), 30u);
  EXPECT_EQ(round.list[1].at({kChannel, 1})->timestamp(), 20u);
  EXPECT_EQ(round.list[2].at({kChannel, 1})->timestamp(), 40u);
}

TEST(PollReader, EqualTimeStampsKeepTheAnswersOrder) {
  const PollRound round =
      readPollAnswer(QOR_TRACE_BUS_CAN, kChannel, canAnswer({canItem(5, 3, {}), canItem(5, 1, {}), canItem(5, 2, {})}));
  std::vector<uint32_t> identifiers;
  for (const auto& [time, entry] : round.batch) identifiers.push_back(fieldAt<uint32_t>(entry->record(), 36));
  EXPECT_EQ(identifiers, (std::vector<uint32_t>{3, 1, 2}));
}

// Random bytes after each bus's head: the walk ends and every record stays inside the answer.
TEST(PollReader, RandomAnswersEndWithoutReadingPastThem) {
  uint32_t state = 12345;
  const auto next = [&] { return state = state * 1103515245 + 12345, static_cast<uint8_t>(state >> 16); };
  for (uint8_t bus = 0; bus < 4; ++bus) {
    for (int trial = 0; trial < 2000; ++trial) {
      Bytes answer(next() % 200);
      for (uint8_t& byte : answer) byte = next() % 4 == 0 ? 0 : next();
      const PollRound round = readPollAnswer(bus, kChannel, answer);
      for (const auto& [time, entry] : round.batch) EXPECT_LE(entry->length(), answer.size() + 28);
    }
  }
}

}  // namespace
}  // namespace qor::trace
