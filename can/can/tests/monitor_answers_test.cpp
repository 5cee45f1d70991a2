// The CAN monitor's requests byte-exact and what it makes of answers that are cut short or lie about their counts,
// lengths and units: each case states every request and the device's answer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "qor_api.h"
#include "qor_can_monitor.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::words;
using Item = Qor_Can_Monitor_Item_t;
using LargeItem = Can_Param_Monitor_Buffer64_LargeItem_t;

constexpr uint8_t kMonitor = 0x50;
constexpr uint8_t kFilter = 0x52;
constexpr uint8_t kListMode = 0x54;
constexpr uint8_t kListItem = 0xF2;
constexpr uint32_t kInvalidResponseLength = 0x02020003;
constexpr uint32_t kInvalidResponseParameter = 0x02020009;
constexpr uint32_t kFirmwareRefusal = 0x1F;
constexpr uint32_t kWideModel = 22;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes head(uint8_t subFunction) { return {subFunction, 0, 0, 0}; }

// The configuration record: option bits, mode bits.
Bytes configure(uint8_t subFunction, uint8_t options, uint8_t mode) {
  return {subFunction, 0, 0, 0, options, mode, 0, 0, 0, 0, 0, 0};
}

Bytes compactItem(uint32_t units, uint32_t identifier, uint8_t unit) {
  return words({units, identifier}, {0, 1, unit, 0, 0x5A, 0, 0, 0, 0, 0, 0, 0});
}

Bytes largeItem(uint32_t identifier, uint8_t dataLength) {
  Bytes item = words({0x1000, 0, identifier}, {0, 0, 0x0F, dataLength});
  item.insert(item.end(), dataLength, 0xD7);
  item.resize((dataLength + 19u) & ~3u, 0);
  return item;
}

std::string lastText() { return Qor_GetLastErrorDescription(); }

class CanMonitorAnswers : public InterfaceFixture {
 protected:
  explicit CanMonitorAnswers(EmulatedModel model = ethernetController()) : InterfaceFixture(std::move(model)) {}

  // Configure and start with these bits, each answered with its head.
  void expectStart(uint8_t subFunction, uint8_t options, uint8_t mode) {
    device_->expect(kMonitor, configure(subFunction, options, mode)).answer(head(subFunction));
    device_->expect(kMonitor, head(12)).answer(head(12));
  }
  void expectStop() { device_->expect(kMonitor, head(7)).answer(head(7)); }
};

class WideCanMonitorAnswers : public CanMonitorAnswers {
 protected:
  WideCanMonitorAnswers() : CanMonitorAnswers({kWideModel, {{kCanFirmwareCode, 1}}}) {}
};

TEST_F(CanMonitorAnswers, DirectReadsCountOnlyTheItemsThatCameAndRefuseCutAnswers) {
  expectStart(8, 0x05, 6);
  device_->expect(kMonitor, head(16)).answer(concat({head(16), words({100}), compactItem(7, 0x11, 0)}));
  device_->expect(kMonitor, head(16)).answer({16, 0, 0, 0, 1, 0});
  expectStop();
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING | 0x05, 10), 0u) << lastText();
  Item items[10];
  uint32_t count = 0;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), 0u) << lastText();
  ASSERT_EQ(count, 1u) << "the answer claimed 100 items and carried one";
  EXPECT_EQ(items[0].identifier, 0x11u);
  EXPECT_EQ(items[0].timeStampNs, 70000u);
  EXPECT_EQ(items[0].flags, 0);
  count = 5;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), kInvalidResponseLength);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(CanMonitorAnswers, AStartTheFirmwareRefusesClosesTheMonitorAgain) {
  device_->expect(kMonitor, configure(8, 0, 7)).fail(kFirmwareRefusal, "busy");
  expectStop();
  const uint32_t port = open();
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), kFirmwareRefusal);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 0u);
  Item item;
  uint32_t count = 1;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof item, &count, &item), 0x02020600u);
}

TEST_F(CanMonitorAnswers, MonitorTimesOfCutAnswersOrUnknownUnitsAreRefusedAsZero) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t result;
    uint64_t first;
  };
  const Case cases[] = {
      {"unit 1", concat({head(1), words({3, 10, 20}, {1, 0, 0, 0})}), 0, 4000},
      {"unit 0", concat({head(1), words({3, 10, 20}, {0})}), 0, 100000},
      {"no unit byte", concat({head(1), words({3, 10, 20})}), kInvalidResponseLength, 0},
      {"unit 2", concat({head(1), words({3, 10, 20}, {2})}), kInvalidResponseParameter, 0},
  };
  for (const Case& c : cases) device_->expect(kMonitor, head(1)).answer(c.answer);
  const uint32_t port = open();
  for (const Case& c : cases) {
    uint32_t flag = 9;
    uint64_t first = 9, second = 9;
    EXPECT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), c.result) << c.name;
    EXPECT_EQ(first, c.first) << c.name;
    EXPECT_EQ(flag, c.result == 0 ? 1u : 0u) << c.name;
    EXPECT_EQ(second, c.result == 0 ? c.first * 2 : 0u) << c.name;
  }
  EXPECT_EQ(lastText().find("TimestampResolution: 2") != std::string::npos, true) << lastText();
}

TEST_F(CanMonitorAnswers, FilterAndListModeRecordsByteExact) {
  device_->expect(kFilter, concat({{3, 0, 0, 0}, words({0x100, 0x1FF})}));
  device_->expect(kListMode, words({2}));
  device_->expect(kListMode, words({0}));
  const uint32_t port = open();
  EXPECT_EQ(Qor_Can_Monitor_DefineFilter(port, 3, 0x100, 0x1FF), 0u) << lastText();
  EXPECT_EQ(Qor_Can_Monitor_ListMode_Start(port), 0u);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_Stop(port), 0u);
}

TEST_F(CanMonitorAnswers, ListItemsOfCutAnswersOrUnknownUnitsAreRefused) {
  const Bytes identifier = words({0x7E8});
  device_->expect(kListItem, identifier).answer(concat({identifier, words({5, 2}, {3, 8, 1, 0}), Bytes(4, 0x77)}));
  device_->expect(kListItem, identifier).answer(concat({identifier, words({5, 2}, {3, 8, 4, 0}), Bytes(8, 0x77)}));
  device_->expect(kListItem, identifier).answer(concat({identifier, words({5, 2}, {0xFF, 2, 1, 0}), Bytes(8, 0x77)}));
  const uint32_t port = open();
  uint64_t time = 0;
  uint32_t count = 0, flags = 0;
  uint8_t dlc = 0;
  uint8_t data[8] = {};
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem(port, 0x7E8, &time, &count, &flags, &dlc, data), kInvalidResponseLength);
  EXPECT_EQ(lastText().find("20") != std::string::npos, true) << lastText();
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem(port, 0x7E8, &time, &count, &flags, &dlc, data), kInvalidResponseParameter);
  EXPECT_EQ(lastText().find("TimestampResolution: 4") != std::string::npos, true) << lastText();
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem(port, 0x7E8, &time, &count, &flags, &dlc, data), 0u) << lastText();
  EXPECT_EQ(time, 2000u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(flags, 3u) << "the message flags only";
  EXPECT_EQ(Bytes(data, data + 3), (Bytes{0x77, 0x77, 0}));
}

TEST_F(CanMonitorAnswers, TheAsynchronousListItemReportsACutAnswerToTheErrorCallback) {
  static std::atomic<uint32_t> errorCode{0};
  static std::atomic<int> items{0};
  static std::string errorText;
  errorCode = 0;
  items = 0;
  device_->expect(kListItem, words({0x10})).answer(words({0x10, 1}));
  device_->expect(kListItem, words({0x11})).answer(concat({words({0x11, 1, 1}, {0, 1, 0, 0}), Bytes(8, 0x42)}));
  const uint32_t port = open();
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port,
                                          [](uint32_t, uint32_t code, const char* text, uint32_t) {
                                            errorText = text;
                                            errorCode = code;
                                          }),
            0u);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async_AddCallback(port, nullptr), 0x02020007u);
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async_AddCallback(
                port, [](uint32_t, uint32_t, uint64_t time, uint32_t, uint32_t, uint8_t, const uint8_t* data) {
                  if (time == 10000 && data[0] == 0x42) ++items;
                }),
            0u);
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async(port, 0x10), 0u);
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async(port, 0x11), 0u);
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while ((errorCode == 0 || items == 0) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(errorCode, kInvalidResponseLength);
  EXPECT_EQ(errorText, "'Qor_Can_Monitor_ListMode_GetItem_Async' error");
  EXPECT_EQ(items, 1);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async_RemoveCallback(port), 0u);
}

TEST_F(WideCanMonitorAnswers, LargeItemsThatLieAboutTheirLengthEndTheAnswer) {
  expectStart(9, 0, 6 + 8);
  device_->expect(kMonitor, head(15)).answer(concat({head(15), largeItem(1, 8), largeItem(2, 70), largeItem(3, 0)}));
  const Bytes whole = largeItem(4, 64);
  device_->expect(kMonitor, head(15)).answer(concat({head(15), Bytes(whole.begin(), whole.begin() + 40)}));
  expectStop();
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS | QOR_CAN_MONITOR_DIRECT_READING, 4),
            0u)
      << lastText();
  LargeItem slots[4] = {};
  uint32_t flags = 0, count = 4;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots), 0u) << lastText();
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(slots[0].identifier, 1u);
  EXPECT_EQ(slots[0].flags, QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED) << "what followed was lost";
  count = 4;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots), 0u);
  EXPECT_EQ(count, 0u) << "an item cut short is no item";
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(WideCanMonitorAnswers, AMalformedBlockEndsInTheRingMarkingTheItemBeforeIt) {
  expectStart(9, 0, 6 + 1 + 8);
  device_->expect(kMonitor, head(19)).answer(concat({head(19), words({1, 0, 0, 0, 0})}));
  expectStop();
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS, 8), 0u) << lastText();
  Bytes lying = largeItem(6, 8);
  lying[15] = 200;
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kMonitor, concat({head(15), largeItem(5, 12), lying, largeItem(7, 0)}));
  uint32_t flag = 0;
  uint64_t first = 0, second = 0;
  ASSERT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), 0u) << "behind the monitor data";
  LargeItem slots[4] = {};
  uint32_t flags = 0, count = 4;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots), 0u) << lastText();
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(slots[0].identifier, 5u);
  EXPECT_EQ(slots[0].flags, QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(WideCanMonitorAnswers, DirectApiItemsAndMonitorTimesOfCutAnswers) {
  expectStart(9, 0x08, 6);
  const Bytes item = concat({words({0x5000, 0, 0x22}, {1, 0, 2, 2, 0xA, 0xB, 0, 0, 0, 0, 0, 0})});
  device_->expect(kMonitor, head(14)).answer(concat({head(14), words({50}), item}));
  device_->expect(kMonitor, head(19)).answer(concat({head(19), words({1, 5, 0, 6})}));
  expectStop();
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING | QOR_CAN_MONITOR_CAN_FD, 4), 0u)
      << lastText();
  Item items[4];
  uint32_t count = 0;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), 0u) << lastText();
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(items[0].timeStampNs, 0x5000u);
  EXPECT_EQ(items[0].identifier, 0x22u);
  uint32_t flag = 9;
  uint64_t first = 9, second = 9;
  EXPECT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), kInvalidResponseLength);
  EXPECT_EQ(flag + first + second, 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

}  // namespace
}  // namespace qor::test
