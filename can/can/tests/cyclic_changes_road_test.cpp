// Changing cyclic messages: the sectioned change record in each of its lengths, data changes with their message
// counts, disturbances and multiplexed bytes; records byte-exact, refusals unsent.
#include <functional>
#include <vector>

#include "cyclic_road.hpp"

namespace qor::can::test {
namespace {

using ChangeRecords = CyclicRoad;
using Change = Qor_Can_CyclicMsgs_Change_t;

constexpr uint32_t kId = 0x1AB;

// A change with every field set, so that a test sees which sections travel.
Change everyField(uint32_t changeFlags, uint8_t furtherCount) {
  Change change{};
  change.identifier = kId;
  change.changeFlags = changeFlags;
  change.sendState = 1;
  change.group = 1;
  change.optionByte = 0x5A;
  change.dlc = 15;
  change.dataFlags = 0x05;
  for (uint8_t index = 0; index < 8; ++index) {
    change.data[index] = static_cast<uint8_t>(0x10 + index);
    change.dataMask[index] = static_cast<uint8_t>(0x20 + index);
  }
  change.messageCount = 0x3031;
  change.secondDataValue = 0x3233;
  change.cycleFlags = 0x7F;
  change.cycleValues[0] = 0x4041;
  change.cycleValues[1] = 0x4243;
  change.cycleValues[2] = 0x4445;
  change.furtherDataCount = furtherCount;
  for (uint8_t index = 0; index < 56; ++index) {
    change.furtherData[index] = static_cast<uint8_t>(0x60 + index);
    change.furtherDataMask[index] = static_cast<uint8_t>(0xA0 + index);
  }
  return change;
}

Bytes head(uint8_t flags, Bytes values) { return cat({{flags, 0, 0, 0}, u32(kId), values}); }
const Bytes kDataSection = cat({u32(5), counting(8, 0x10), counting(8, 0x20), u16(0x3031), u16(0x3233), zeros(4)});
const Bytes kCycleSection = cat({u32(0x7F), u16(0x4041), u16(0x4243), u16(0x4445), u16(0)});
Bytes furtherSection(uint8_t count) { return cat({{count, 0, 0, 0}, counting(count, 0x60), counting(count, 0xA0)}); }

TEST_F(ChangeRecords, TheRecordHoldsTheFlaggedSectionsInEachOfItsLengths) {
  struct Case {
    const char* name;
    uint32_t flags;
    uint8_t furtherCount;
    Bytes record;
  };
  const std::vector<Case> cases = {
      {"head sections: 12", 0x0F, 0, head(0x0F, {1, 1, 0x5A, 15})},
      {"unflagged sections stay 0", 0x04, 0, head(0x04, {0, 0, 0x5A, 0})},
      {"data: 52", 0x10, 0, cat({head(0x10, zeros(4)), kDataSection, zeros(12)})},
      {"cycle: 52", 0x20, 0, cat({head(0x20, zeros(4)), zeros(28), kCycleSection})},
      {"further data without cycle: 44 + 2n", 0x50, 4, cat({head(0x50, zeros(4)), kDataSection, furtherSection(4)})},
      {"further data alone", 0x40, 1, cat({head(0x40, zeros(4)), zeros(28), furtherSection(1)})},
      {"everything: 56 + 2n", 0x7F, 56, cat({head(0x7F, {1, 1, 0x5A, 15}), kDataSection, kCycleSection,
                                             furtherSection(56)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(0x2E, c.record);
    const Change change = everyField(c.flags, c.furtherCount);
    EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsg(port_, &change), 0u) << lastText();
  }
}

TEST_F(ChangeRecords, OnlyTheCountAndValueOfTheirDataFlagsTravel) {
  Change change = everyField(0x10, 0);
  change.dataFlags = 0x02;
  device_->expect(0x2E, cat({head(0x10, zeros(4)), u32(2), counting(8, 0x10), counting(8, 0x20), zeros(8), zeros(12)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsg(port_, &change), 0u) << lastText();
}

TEST_F(ChangeRecords, StartAndStopChangeTheSendState) {
  device_->expect(0x2E, head(0x01, {1, 0, 0, 0}));
  device_->expect(0x2E, head(0x01, {0, 0, 0, 0}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_StartMsg(port_, kId), 0u) << lastText();
  EXPECT_EQ(Qor_Can_CyclicMsgs_StopMsg(port_, kId), 0u) << lastText();
}

TEST_F(ChangeRecords, AChangeWithoutFlagsSendsNothing) {
  const Change change = everyField(0, 99);
  const size_t before = cyclicRequests();
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsg(port_, &change), 0u);
  EXPECT_EQ(cyclicRequests(), before);
}

// Sections are checked in the order of their flags; a section not flagged is not checked.
TEST_F(ChangeRecords, FlaggedSectionsAreCheckedBeforeAnythingIsSent) {
  struct Case {
    const char* name;
    uint32_t flags;
    std::function<void(Change&)> spoil;
    uint32_t code;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"flag bit 7", 0x80, [](Change&) {}, kUnknownFlag, "unknown flag"},
      {"send state", 0x01, [](Change& c) { c.sendState = 2; }, kInvalidSendState, " - 2"},
      {"group", 0x03, [](Change& c) { c.group = 3; }, kInvalidGroupNumber, " - 3"},
      {"DLC", 0x08, [](Change& c) { c.dlc = 16; }, kInvalidDlc, "only values from 0 to 16 are valid"},
      {"data flags", 0x10, [](Change& c) { c.dataFlags = 8; }, kUnknownFlag, "DataFlags: 8"},
      {"cycle flags", 0x20, [](Change& c) { c.cycleFlags = 0x80; }, kUnknownFlag, "cycle time flags: 128"},
      {"cycle reserved", 0x20, [](Change& c) { c.cycleReserved = 1; }, kInvalidParameter,
       "cycle time reserved bytes have to be zero"},
      {"further reserved", 0x40, [](Change& c) { c.furtherReserved[2] = 1; }, kInvalidParameter,
       "reserved bytes in extended mask and data section have to be zero"},
      {"57 further bytes", 0x40, [](Change& c) { c.furtherDataCount = 57; }, kInvalidParameter,
       "number of further data bytes 57 > 56"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Change change = everyField(c.flags, 8);
    c.spoil(change);
    EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsg(port_, &change), c.code, c.text);
  }
  Change groupOnly = everyField(0x02, 0);
  groupOnly.sendState = 9;
  groupOnly.furtherDataCount = 200;
  device_->expect(0x2E, head(0x02, {0, 1, 0, 0}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsg(port_, &groupOnly), 0u) << "unflagged sections are not checked";
}

// ---- data changes ----

TEST_F(ChangeRecords, DataChangesBecomeChangeRecordsByMode) {
  const Bytes data = counting(64, 0x00);
  const Bytes mask = counting(64, 0x80);
  device_->expect(0x2E, cat({head(0x18, {0, 0, 0, 8}), u32(0), counting(8, 0), counting(8, 0x80), zeros(8),
                             zeros(12)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 8, mask.data(), 0, 77), 0u) << lastText();
  device_->expect(0x2E, cat({head(0x18, {0, 0, 0, 3}), u32(1), counting(3, 0), zeros(5), counting(3, 0x80),
                             zeros(5), zeros(8), zeros(12)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 3, mask.data(), 1, 77), 0u) << "count 0";
  device_->expect(0x2E, cat({head(0x58, {0, 0, 0, 15}), u32(1), counting(8, 0), counting(8, 0x80), u16(77),
                             zeros(6), Bytes{56, 0, 0, 0}, counting(56, 8), counting(56, 0x88)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 15, mask.data(), 2, 77), 0u) << lastText();

  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 16, mask.data(), 0, 0), kInvalidDlc,
                 "only values from 0 to 16 are valid");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 8, mask.data(), 3, 0), kUnknownMode,
                 " - 3");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsgData(port_, kId, data.data(), 8, nullptr, 0, 0), kInvalidParameter,
                 "mask");
}

TEST_F(ChangeRecords, DataAndMessageCountCarryTheSecondArraysFurtherBytes) {
  const Bytes first = counting(64, 0x00);
  const Bytes second = counting(64, 0x80);
  device_->expect(0x25, cat({u32(kId), {2, 0x5A, 4, 0}, counting(4, 0), zeros(4), counting(4, 0x80), zeros(4),
                             u16(0x1234), u16(0)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(port_, kId, 0x5A, first.data(), 4, second.data(), 2, 0x1234),
            0u)
      << lastText();
  device_->expect(0x25, cat({u32(kId), {1, 0, 15, 0}, counting(8, 0), counting(8, 0x80), u16(0), u16(0),
                             counting(56, 0x88)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(port_, kId, 0, first.data(), 15, second.data(), 1, 0x1234),
            0u)
      << "the count only with mode 2";

  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(port_, kId, 0, first.data(), 16, second.data(), 0, 0),
                 kInvalidDlc, "only values from 0 to 16 are valid");
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(port_, kId, 0, first.data(), 8, second.data(), 3, 0),
                 kUnknownMode, " - 3");
}

TEST_F(ChangeRecords, DisturbancesCarryBothArraysUpToTheirDataLength) {
  uint8_t first[64];
  uint8_t second[64];
  for (uint8_t index = 0; index < 64; ++index) {
    first[index] = index;
    second[index] = static_cast<uint8_t>(0x80 + index);
  }
  device_->expect(0x39, cat({u32(kId), {2, 0}, u16(0xBEEF), counting(8, 0), counting(8, 0x80)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_DefineDisturbance(port_, kId, 2, 0xBEEF, first, second), 0u) << lastText();
  device_->expect(0x39, cat({u32(kId), {9, 0}, u16(1), counting(8, 0), counting(8, 0x80), counting(4, 8),
                             counting(4, 0x88)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_DefineDisturbance(port_, kId, 9, 1, first, second), 0u) << "8 + 2 x 12 bytes";
  device_->expect(0x39, cat({u32(kId), {15, 0}, u16(1), counting(8, 0), counting(8, 0x80), counting(56, 8),
                             counting(56, 0x88)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_DefineDisturbance(port_, kId, 15, 1, first, second), 0u) << "8 + 2 x 64 bytes";
  EXPECT_REFUSED(Qor_Can_CyclicMsgs_DefineDisturbance(port_, kId, 16, 1, first, second), kInvalidDlc,
                 "only values from 0 to 16 are valid");
}

// ---- multiplexed bytes ----

TEST_F(ChangeRecords, MultiplexedBytesTakeTheClassicOrTheFdForm) {
  uint8_t entries[3][64];
  for (uint8_t row = 0; row < 3; ++row) {
    for (uint8_t column = 0; column < 64; ++column) entries[row][column] = static_cast<uint8_t>(row * 64 + column);
  }
  const Bytes mask = counting(64, 0xC0);
  device_->expect(0x32, cat({u32(kId), {5, 2, 0, 0}, counting(8, 0xC0), counting(8, 0), counting(8, 64)}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_MultiplexBytes_Define(port_, kId, 5, 2, mask.data(), entries), 0u) << lastText();

  const uint32_t fd = kFdMessage | kId;
  device_->expect(0x2F, cat({u32(9), u32(0), u32(fd), {5, 3}, u16(64), mask, counting(192, 0)})).answer(u32(9));
  EXPECT_EQ(Qor_Can_CyclicMsgs_MultiplexBytes_Define(port_, fd, 5, 3, mask.data(), entries), 0u) << lastText();

  EXPECT_REFUSED(Qor_Can_CyclicMsgs_MultiplexBytes_Define(port_, kId, 5, 17, mask.data(), entries), kInvalidParameter,
                 "maximum number of indices: 16");

  const Bytes second = counting(8, 0x70);
  device_->expect(0x33, cat({u32(kId), counting(8, 0xC0), second}));
  EXPECT_EQ(Qor_Can_CyclicMsgs_MultiplexBytes_Stop(port_, kId, mask.data(), second.data()), 0u) << lastText();
}

}  // namespace
}  // namespace qor::can::test
