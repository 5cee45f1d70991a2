// The exported trace functions without a device: handles, unknown handles, argument checks, the properties as one
// table, and the list view fed the way a channel feeds it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qor_api.h"
#include "qor_trace_monitor.h"
#include "trace_monitor.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

constexpr uint32_t kUnknownFlag = 0x02140002;
constexpr uint32_t kUnknownIdCode = 0x02140004;
constexpr uint32_t kInvalidParameterCode = 0x02140005;
constexpr uint32_t kInvalidIdCode = 0x02140006;
constexpr uint32_t kInvalidHandle = 0x02140008;
constexpr uint32_t kInvalidConfigurationCode = 0x02140009;
constexpr uint32_t kNotAvailable = 0x0200020B;

// The last failure's code and text as the core reports them.
std::string lastFailure() { return Qor_GetLastErrorDescription(); }

std::string failure(uint32_t code, const std::string& text) {
  char head[16];
  std::snprintf(head, sizeof head, "0x%08X", code);
  return std::string(head) + " - " + Qor_GetErrorDescription(code) + (text.empty() ? "" : " - " + text);
}

class TraceApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Qor_Trace_Allocate(0, &handle_), 0u); }
  void TearDown() override { EXPECT_EQ(Qor_Trace_Delete(handle_), 0u); }

  uint32_t getValue(uint16_t id) {
    uint32_t value = 0;
    uint32_t length = sizeof value;
    EXPECT_EQ(Qor_Trace_Property_GetById(handle_, 0, id, &length, reinterpret_cast<uint8_t*>(&value)), 0u);
    EXPECT_EQ(length, 4u);
    return value;
  }

  std::string getText(uint16_t id, uint32_t room = 300) {
    std::string text(room, '\xCC');
    uint32_t length = room;
    EXPECT_EQ(Qor_Trace_Property_GetById(handle_, 0, id, &length, reinterpret_cast<uint8_t*>(text.data())), 0u);
    EXPECT_EQ(text[length], '\0');
    return text.substr(0, length);
  }

  uint32_t handle_ = 0;
};

TEST(TraceHandles, CountFromOneAndAreNeverHandedOutTwice) {
  uint32_t first = 0, second = 0, third = 0;
  ASSERT_EQ(Qor_Trace_Allocate(0, &first), 0u);
  ASSERT_EQ(Qor_Trace_Allocate(0, &second), 0u);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(Qor_Trace_Delete(second), 0u);
  EXPECT_EQ(Qor_Trace_Delete(second), kInvalidHandle);
  ASSERT_EQ(Qor_Trace_Allocate(0, &third), 0u);
  EXPECT_EQ(third, 3u);
  EXPECT_EQ(Qor_Trace_Allocate(1, &second), kUnknownFlag);
  EXPECT_EQ(Qor_Trace_Allocate(0, nullptr), kInvalidParameterCode);
  EXPECT_EQ(Qor_Trace_Delete(first), 0u);
  EXPECT_EQ(Qor_Trace_Delete(third), 0u);
}

TEST(TraceHandles, UnknownHandleFailsEveryFunctionButTheMdfExport) {
  constexpr uint32_t kNone = 77;
  uint32_t count = 0, size = 0, length = 4, value = 0;
  uint8_t byte = 0;
  const Qor_Trace_ChannelInfo_t info{0, 1, 0};
  Qor_Trace_ChannelResult_t result{9, 9, 9};
  const Qor_Trace_ExportInfo_t exportInfo{0, "x", 0, 0};
  const uint32_t codes[] = {
      Qor_Trace_Delete(kNone),
      Qor_Trace_AddChannel(kNone, &info, &result),
      Qor_Trace_RemoveChannel(kNone, 1),
      Qor_Trace_ClearChannelList(kNone),
      Qor_Trace_Start(kNone, 0),
      Qor_Trace_Stop(kNone),
      Qor_Trace_GetItems(kNone, 0, 0, &count, &size, &byte),
      Qor_Trace_GetListItems(kNone, 0, 0, &count, &size, &byte),
      Qor_Trace_Property_GetById(kNone, 0, 0, &length, reinterpret_cast<uint8_t*>(&value)),
      Qor_Trace_Property_SetById(kNone, 0, 4, 4, reinterpret_cast<uint8_t*>(&value)),
      Qor_Trace_ExportToASC(kNone, &exportInfo),
      Qor_Trace_ExportToPCAP(kNone, &exportInfo),
  };
  for (const uint32_t code : codes) EXPECT_EQ(code, kInvalidHandle);
  EXPECT_EQ(result.channelId, 0u);  // the result is zeroed first
  EXPECT_EQ(result.reserved1, 0u);
  EXPECT_EQ(Qor_Trace_ExportToMDF(kNone, &exportInfo), kNotAvailable);
  EXPECT_EQ(Qor_GetLastErrorCode(), kNotAvailable);
}

TEST_F(TraceApiTest, StartChecksItsFlagsThenNeedsAChannel) {
  EXPECT_EQ(Qor_Trace_Start(handle_, 8), kUnknownFlag);
  EXPECT_EQ(Qor_Trace_Start(handle_, 4), kInvalidConfigurationCode);
  EXPECT_EQ(lastFailure(), failure(kInvalidConfigurationCode, "no bus interfaces selected"));
  EXPECT_EQ(Qor_Trace_Stop(handle_), 0u);
  EXPECT_EQ(Qor_Trace_ExportToMDF(handle_, nullptr), kNotAvailable);
}

TEST_F(TraceApiTest, ArgumentsAreCheckedBeforeUse) {
  uint32_t count = 0, size = 8;
  EXPECT_EQ(Qor_Trace_GetItems(handle_, 1, 0, &count, &size, nullptr), kUnknownFlag);
  EXPECT_EQ(Qor_Trace_GetItems(handle_, 0, 0, nullptr, &size, nullptr), kInvalidParameterCode);
  EXPECT_EQ(Qor_Trace_GetItems(handle_, 0, 0, &count, &size, nullptr), kInvalidParameterCode);
  size = 0;
  EXPECT_EQ(Qor_Trace_GetItems(handle_, 0, 0, &count, &size, nullptr), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Qor_Trace_GetListItems(handle_, 2, 0, &count, &size, nullptr), kUnknownFlag);
  EXPECT_EQ(Qor_Trace_AddChannel(handle_, nullptr, nullptr), kInvalidParameterCode);
  const Qor_Trace_ChannelInfo_t flagged{1, 1, 0};
  Qor_Trace_ChannelResult_t result{};
  EXPECT_EQ(Qor_Trace_AddChannel(handle_, &flagged, &result), kUnknownFlag);

  Qor_Trace_ExportInfo_t unterminated{};
  std::memset(unterminated.fileName, 'a', sizeof unterminated.fileName);
  EXPECT_EQ(Qor_Trace_ExportToASC(handle_, &unterminated), kInvalidParameterCode);
  EXPECT_EQ(Qor_Trace_ExportToPCAP(handle_, &unterminated), kInvalidParameterCode);
  EXPECT_EQ(Qor_Trace_ExportToASC(handle_, nullptr), kInvalidParameterCode);
}

struct PropertyCase {
  uint16_t id;
  bool set;
  uint32_t length;
  uint32_t code;
  const char* text;
};

TEST_F(TraceApiTest, PropertyRefusals) {
  const PropertyCase rows[] = {
      {13, false, 4, kUnknownIdCode, ""},
      {13, true, 4, kUnknownIdCode, ""},
      {2, false, 4, kInvalidIdCode, "this property id is write-only"},
      {3, false, 4, kInvalidIdCode, "this property id is write-only"},
      {0, true, 4, kInvalidIdCode, "this property id is read-only"},
      {1, true, 4, kInvalidIdCode, "this property id is read-only"},
      {0, false, 3, kInvalidParameterCode, "minimum length is 4 bytes"},
      {8, false, 3, kInvalidParameterCode, "minimum length is 4 bytes"},
      {5, false, 0, kInvalidParameterCode, "minimum length is 1 bytes"},
      {12, false, 0, kInvalidParameterCode, "minimum length is 1 bytes"},
      {4, true, 3, kInvalidParameterCode, "minimum length is 4 bytes"},
      {6, true, 2, kInvalidParameterCode, "minimum length is 4 bytes"},
  };
  for (const PropertyCase& row : rows) {
    uint8_t data[8] = {};
    uint32_t length = row.length;
    const uint32_t code = row.set ? Qor_Trace_Property_SetById(handle_, 0, row.id, row.length, data)
                                  : Qor_Trace_Property_GetById(handle_, 0, row.id, &length, data);
    EXPECT_EQ(code, row.code) << "id " << row.id << (row.set ? " set" : " get");
    EXPECT_EQ(lastFailure(), failure(row.code, row.text)) << "id " << row.id;
  }
}

TEST_F(TraceApiTest, PropertyValuesAndDefaults) {
  EXPECT_EQ(getValue(0), 0u);
  EXPECT_EQ(getValue(1), 0u);
  EXPECT_EQ(getValue(4), 0u);  // no channel yet
  EXPECT_EQ(getValue(6), 524'288'000u);
  EXPECT_EQ(getValue(8), 0x200000u);
  const std::string asc = getText(5);
  EXPECT_EQ(asc.rfind("Qor_Trace_", 0), 0u);
  EXPECT_EQ(asc.size(), std::string("Qor_Trace_yy-mm-dd-hh-mm-ss.asc").size());
  EXPECT_EQ(getText(7), asc.substr(0, asc.size() - 4) + ".mf4");
  EXPECT_EQ(getText(5, 10), asc.substr(0, 9));
  for (uint16_t id = 9; id <= 12; ++id) EXPECT_EQ(getText(id), "");

  const uint32_t limit = 1234, big = 4096, tiny = 511;
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 4, 4, reinterpret_cast<const uint8_t*>(&limit)), 0u);
  EXPECT_EQ(getValue(4), 1234u);
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 6, 4, reinterpret_cast<const uint8_t*>(&big)), 0u);
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 6, 4, reinterpret_cast<const uint8_t*>(&tiny)),
            kInvalidParameterCode);
  EXPECT_EQ(lastFailure(), failure(kInvalidParameterCode, "file size needs to be >= 512 bytes"));
  EXPECT_EQ(getValue(6), 4096u);

  const char name[] = "live.asc";
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 5, 0, reinterpret_cast<const uint8_t*>(name)), 0u);
  EXPECT_EQ(getText(5), "live.asc");
  // An unterminated text is read no further than its length.
  const char author[4] = {'A', 'd', 'a', 'm'};
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 9, 3, reinterpret_cast<const uint8_t*>(author)), 0u);
  EXPECT_EQ(getText(9), "Ada");
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 10, 0, nullptr), kInvalidParameterCode);
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 2, 0, nullptr), 0u);
  EXPECT_EQ(Qor_Trace_Property_SetById(handle_, 0, 3, 0, nullptr), 0u);
}

// The list view as channels feed it: the latest record per key, with the time since the one it replaced; the trace's
// copies carry no relative time, the list's do.
TEST(TraceMonitorList, LatestRecordPerKeyWithItsRelativeTime) {
  TraceMonitor monitor(1000);
  const auto round = [&](std::initializer_list<std::pair<uint32_t, uint64_t>> frames) {
    std::vector<uint8_t> answer = {0x0F, 0, 0, 0};
    for (const auto& [identifier, time] : frames) {
      const std::vector<uint8_t> item = test::join({test::le(time, 8), test::le(identifier, 4), test::le(0, 4)});
      answer.insert(answer.end(), item.begin(), item.end());
    }
    PollRound poll = readPollAnswer(QOR_TRACE_BUS_CAN, 1, answer);
    monitor.receive(poll);
  };
  round({{0x10, 100}, {0x20, 150}, {0x20, 170}});
  round({{0x10, 400}});

  std::vector<uint8_t> buffer(1024);
  uint32_t count = 0, size = static_cast<uint32_t>(buffer.size());
  monitor.getListItems(0, count, size, buffer.data());
  ASSERT_EQ(count, 2u);
  const auto relativeAt = [&](size_t offset) {
    return fieldAt<uint64_t>(buffer, offset + offsetof(Qor_Trace_Entry_t, relativeTimestamp));
  };
  EXPECT_EQ(relativeAt(0), 300u);  // 0x10 at 400, 300 after the one at 100
  EXPECT_EQ(relativeAt(48), 20u);  // 0x20 at 170, 20 after the one at 150 in the same poll

  count = 0;
  size = static_cast<uint32_t>(buffer.size());
  monitor.getItems(0, count, size, buffer.data());
  EXPECT_EQ(count, 4u);
  uint32_t total = 0, length = 4;
  monitor.getProperty(0, length, reinterpret_cast<uint8_t*>(&total));
  EXPECT_EQ(total, 4u);
}

}  // namespace
}  // namespace qor::trace
