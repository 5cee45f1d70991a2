// The master task's schedule tables and the slave task, each request byte-exact. Fills go in records of as many
// entries as the port's maximum parameter length takes: 125 at 1012 bytes, 509 at 4084.
#include <functional>
#include <span>
#include <vector>

#include "lin_road.hpp"
#include "qor_lin_schedule.h"

namespace qor::test {
namespace {

using emulator::words;

constexpr uint8_t kFill = 0x22;
constexpr uint8_t kSlaveState = 0x25;
constexpr uint8_t kStart = 0x28;
constexpr uint8_t kStop = 0x29;
constexpr uint8_t kClear = 0x2A;
constexpr uint8_t kChange = 0x2C;
constexpr uint8_t kSchedulerState = 0x2D;
constexpr uint8_t kHeader = 0x2E;
constexpr uint8_t kBreakThreshold = 0x46;
constexpr uint8_t kWakeUpDelimiter = 0x47;

// A fill record as the firmware reads it: table, 0 first or 1 appending, flag, three zeros, u16 n, then n entries
// of id, type, option, 0 and the delay in 25-ns ticks.
Bytes fillRecord(uint8_t table, uint8_t appending, uint8_t flag, std::span<const Qor_Lin_ScheduleEntry_t> entries) {
  Bytes record = Bytes{table, appending, flag, 0, 0, 0} + u16le(static_cast<uint16_t>(entries.size()));
  for (const Qor_Lin_ScheduleEntry_t& entry : entries) {
    record = record + Bytes{entry.frameId, entry.frameType, entry.entryOption, 0} + u32le(entry.delayNs / 25);
  }
  return record;
}

std::vector<Qor_Lin_ScheduleEntry_t> schedule(size_t count) {
  std::vector<Qor_Lin_ScheduleEntry_t> entries(count);
  for (size_t index = 0; index < count; ++index) {
    entries[index] = {static_cast<uint8_t>(index % 64), static_cast<uint8_t>(index % 4),
                      static_cast<uint8_t>(index * 7), 0, static_cast<uint32_t>(1'000'000 + index * 1013)};
  }
  return entries;
}

using LinSchedule = LinRoad;

TEST_F(LinSchedule, AFillRecordIsLaidOutByteExact) {
  const Qor_Lin_ScheduleEntry_t entries[] = {{0x10, 1, 0xAA, 0, 10'000'000}, {0x3C, 3, 0, 0, 24}};
  device_->expect(kFill, {5,    0, 1,    0, 0,    0,    2,    0,     //
                          0x10, 1, 0xAA, 0, 0x80, 0x1A, 0x06, 0x00,  // 400000 ticks
                          0x3C, 3, 0,    0, 0,    0,    0,    0});   // 24 ns is no tick
  device_->expect(kFill, {6, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 1, 5, 2, entries), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 6, 0, nullptr), 0u) << lastText();
}

TEST_F(LinSchedule, EveryEntryIsCheckedBeforeAnythingIsSent) {
  std::vector<Qor_Lin_ScheduleEntry_t> entries = schedule(8);
  entries[5].frameType = 4;
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 1, 8, entries.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "frame type '0x4' is unknown"));
  entries[0].reserved3 = 1;
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 1, 8, entries.data()), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "invalid reserved parameter byte in item 0"));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 2, 1, 0, nullptr), kUnknownFlag);
  EXPECT_EQ(lastText(), described(kUnknownFlag, "0x2"));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 1, 3, nullptr), kInvalidParameter);
}

TEST_F(LinSchedule, PlainEntriesAreOfFrameTypeAndOptionZero) {
  Qor_Lin_PlainScheduleEntry_t plain[] = {{0x21, {0, 0, 0}, 5'000'000}, {0x22, {0, 0, 0}, 2'500'000}};
  const Qor_Lin_ScheduleEntry_t typed[] = {{0x21, 0, 0, 0, 5'000'000}, {0x22, 0, 0, 0, 2'500'000}};
  device_->expect(kFill, fillRecord(2, 0, 0, typed));
  device_->expect(kFill, fillRecord(3, 0, 1, {}));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable(port_, 0, 2, 2, plain), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable(port_, 1, 3, 0, nullptr), 0u) << "an empty fill: " << lastText();

  plain[1].reserved1[2] = 9;
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable(port_, 0, 2, 2, plain), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "invalid reserved parameter byte in item 1"));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable(port_, 3, 2, 2, plain), kUnknownFlag);
}

// A fill of 600 entries at 4084 bytes: 509 and 91.
TEST_F(LinSchedule, ALongFillGoesInRecordsOfTheParameterLength) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  ASSERT_EQ(parameterLength, 4084u);
  const std::vector<Qor_Lin_ScheduleEntry_t> entries = schedule(600);
  const std::span<const Qor_Lin_ScheduleEntry_t> all(entries);
  device_->expect(kFill, fillRecord(7, 0, 1, all.subspan(0, 509)));
  device_->expect(kFill, fillRecord(7, 1, 1, all.subspan(509)));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 1, 7, 600, entries.data()), 0u) << lastText();
}

class LinScheduleOf1012 : public LinRoad {
 protected:
  LinScheduleOf1012() : LinRoad(linModelOfParameterLength1012()) {}
};

TEST_F(LinScheduleOf1012, ALongFillGoesInRecordsOfTheParameterLength) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  ASSERT_EQ(parameterLength, 1012u);
  const std::vector<Qor_Lin_ScheduleEntry_t> entries = schedule(300);
  const std::span<const Qor_Lin_ScheduleEntry_t> all(entries);
  device_->expect(kFill, fillRecord(1, 0, 0, all.subspan(0, 125)));
  device_->expect(kFill, fillRecord(1, 1, 0, all.subspan(125, 125)));
  device_->expect(kFill, fillRecord(1, 1, 0, all.subspan(250)));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 1, 300, entries.data()), 0u) << lastText();

  // exactly one record's worth, then a failing second record ends the fill
  device_->expect(kFill, fillRecord(2, 0, 0, all.subspan(0, 125)));
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 2, 125, entries.data()), 0u) << lastText();
  device_->expect(kFill, fillRecord(3, 0, 0, all.subspan(0, 125)));
  device_->expect(kFill, fillRecord(3, 1, 0, all.subspan(125, 125))).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(port_, 0, 3, 300, entries.data()), kFirmwareBusy);
}

TEST_F(LinSchedule, SchedulerCommandsSendTheirRecords) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint8_t command;
    Bytes record;
  } cases[] = {
      {"start", [](uint32_t port) { return Qor_Lin_MasterTask_Start(port, 3); }, kStart, {3, 0, 0, 0}},
      {"stop", [](uint32_t port) { return Qor_Lin_MasterTask_Stop(port); }, kStop, {}},
      {"clear",
       [](uint32_t port) { return Qor_Lin_MasterTask_ClearScheduleTable(port, 0xFE); },
       kClear,
       {0xFE, 0, 0, 0}},
      {"change without value", [](uint32_t port) { return Qor_Lin_MasterTask_ChangeScheduleTable(port, 4, 1, 77); },
       kChange, Bytes{4, 1, 0, 0} + u32le(0)},
      {"change with value (bit 1)",
       [](uint32_t port) { return Qor_Lin_MasterTask_ChangeScheduleTable(port, 4, 2, 77); }, kChange,
       Bytes{4, 2, 0, 0} + u32le(77)},
      {"change with value (bit 2)",
       [](uint32_t port) { return Qor_Lin_MasterTask_ChangeScheduleTable(port, 4, 0x1D, 0x01020304); }, kChange,
       Bytes{4, 0x1D, 0, 0} + u32le(0x01020304)},
      {"wake-up delimiter", [](uint32_t port) { return Qor_Lin_MasterTask_SetWakeUpDelimiterTime(port, 250'049); },
       kWakeUpDelimiter, u32le(10001)},
      {"slave answers",
       [](uint32_t port) { return Qor_Lin_SlaveTask_SetSlaveCommunicationState(port, 1); },
       kSlaveState,
       {1, 0, 0, 0}},
      {"break threshold",
       [](uint32_t port) { return Qor_Lin_SlaveTask_SetBreakDetectionThreshold(port, 0xA1B2); },
       kBreakThreshold,
       {0xB2, 0xA1}},
  };
  for (const Case& c : cases) device_->expect(c.command, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();

  EXPECT_EQ(Qor_Lin_MasterTask_ChangeScheduleTable(port_, 4, 0x20, 77), kUnknownFlag);
  EXPECT_EQ(Qor_Lin_SlaveTask_SetSlaveCommunicationState(port_, 2), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "the state '0x2' is unknown"));
  device_->expect(kStart, {1, 0, 0, 0}).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_Lin_MasterTask_Start(port_, 1), kFirmwareBusy);
}

TEST_F(LinSchedule, SendHeader) {
  device_->expect(kHeader, {0, 0, 0, 0, 1, 0x3C, 0, 0}).answer({0, 0, 0, 0});
  EXPECT_EQ(Qor_Lin_MasterTask_SendHeader(port_, 1, 0x3C), 0u) << lastText();
  EXPECT_EQ(Qor_Lin_MasterTask_SendHeader(port_, 2, 0x3C), kUnknownFlag);
  EXPECT_EQ(lastText(), described(kUnknownFlag, "flag value '0x0002' is unknown"));
}

TEST_F(LinSchedule, SchedulerStateIsReadFromAWholeAnswer) {
  const Bytes values = u16le(0x1111) + u16le(0x2222) + u16le(0x3333) + u16le(0x4444);
  device_->expect(kSchedulerState, u32le(0)).answer(Bytes{0, 0xFE, 0, 0} + values);
  device_->expect(kSchedulerState, u32le(0)).answer(Bytes{0, 0xFE, 0, 0} + Bytes(values.begin(), values.end() - 1));
  device_->expect(kSchedulerState, u32le(0)).fail(kFirmwareBusy, "busy");
  uint32_t state = 9;
  uint16_t v1 = 9, v2 = 9, v3 = 9, v4 = 9;
  EXPECT_EQ(Qor_Lin_MasterTask_GetSchedulerState(port_, &state, &v1, &v2, &v3, &v4), 0u) << lastText();
  EXPECT_EQ(std::vector<uint32_t>({state, v1, v2, v3, v4}), std::vector<uint32_t>({2, 0x1111, 0x2222, 0x3333, 0x4444}));
  EXPECT_EQ(Qor_Lin_MasterTask_GetSchedulerState(port_, &state, &v1, &v2, &v3, &v4), kInvalidResponseLength)
      << "the last value is cut short";
  EXPECT_EQ(std::vector<uint32_t>({state, v1, v2, v3, v4}), std::vector<uint32_t>(5, 0));
  state = v1 = v2 = v3 = v4 = 9;
  EXPECT_EQ(Qor_Lin_MasterTask_GetSchedulerState(port_, &state, &v1, &v2, &v3, &v4), kFirmwareBusy);
  EXPECT_EQ(std::vector<uint32_t>({state, v1, v2, v3, v4}), std::vector<uint32_t>(5, 0));
}

}  // namespace
}  // namespace qor::test
