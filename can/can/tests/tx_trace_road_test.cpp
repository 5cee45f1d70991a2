// Transmit traces on the whole road: downloaded in chunks into the emulated firmware, played onto the emulated bus
// and heard by a listener on the other node.
#include <gtest/gtest.h>

#include <vector>

#include "qor_can_message.h"
#include "qor_can_tx_trace.h"
#include "tx_bus_fixture.hpp"

namespace qor::can {
namespace {

using emulator::Bytes;
using emulator::CanFrame;
using emulator::words;

constexpr uint32_t kUnknownFlag = 0x02020004;
constexpr uint32_t kInvalidParameter = 0x02020007;
constexpr uint32_t kShortAnswer = 0x02020003;
constexpr uint32_t kInvalidDlc = 0x02020101;
constexpr uint32_t kMismatchedAnswer = 0x0100000D;
constexpr uint32_t kLongDataMarker = 1u << 30;

std::vector<Qor_Can_TxTrace_Item_t> traceItems(uint32_t count) {
  std::vector<Qor_Can_TxTrace_Item_t> items(count);
  for (uint32_t index = 0; index < count; ++index) {
    Qor_Can_TxTrace_Item_t& item = items[index];
    item.firstValue = index * 1000;
    item.identifier = 0x200 + index;
    item.dlc = static_cast<uint8_t>(index % 16);
    item.option1 = static_cast<uint8_t>(index);
    item.option2 = static_cast<uint8_t>(index + 1);
    item.option3 = static_cast<uint8_t>(index + 2);
    for (uint8_t byte = 0; byte < 64; ++byte) item.data[byte] = static_cast<uint8_t>(index + 7 * byte);
  }
  return items;
}

Bytes dataOf(const Qor_Can_TxTrace_Item_t& item) {
  return Bytes(item.data, item.data + Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[item.dlc]);
}

class TxTraceRoad : public TxBusFixture {
 protected:
  TxTraceRoad() : TxBusFixture(32, 4000) {}

  uint32_t allocate() {
    uint32_t handle = 0;
    EXPECT_EQ(Qor_Can_TxTrace_Allocate(port_, &handle), 0u) << lastText();
    return handle;
  }
  Qor_Can_TxTrace_State_t state(uint32_t handle) {
    Qor_Can_TxTrace_State_t state{};
    EXPECT_EQ(Qor_Can_TxTrace_GetState(port_, handle, &state), 0u) << lastText();
    return state;
  }
};

TEST_F(TxTraceRoad, ADownloadedTracePlaysInOrderOntoTheBus) {
  const uint32_t handle = allocate();
  const std::vector<Qor_Can_TxTrace_Item_t> items = traceItems(200);
  ASSERT_EQ(Qor_Can_TxTrace_Download(port_, handle, 200, 2, items.data()), 0u) << lastText();

  // The firmware got every item, with its option bytes where they belong and bit 30 for long data.
  const auto trace = firmware_->trace(kSender, handle);
  ASSERT_TRUE(trace);
  ASSERT_EQ(trace->size(), items.size());
  for (size_t index = 0; index < items.size(); ++index) {
    const Qor_Can_TxTrace_Item_t& item = items[index];
    const auto& record = (*trace)[index];
    EXPECT_EQ(record.firstValue, item.firstValue) << index;
    EXPECT_EQ(record.identifier, item.identifier | (item.dlc > 8 ? kLongDataMarker : 0)) << index;
    EXPECT_EQ(record.dlc, item.dlc) << index;
    EXPECT_EQ(Bytes(record.options, record.options + 3), (Bytes{item.option1, item.option2, item.option3})) << index;
    EXPECT_EQ(record.data, dataOf(item)) << index;
  }
  // The first chunk carries the caller's flags, every later one bit 0 as well.
  const auto downloads = firmware_->downloads(kSender, handle);
  ASSERT_GE(downloads.size(), 2u);
  uint32_t records = 0;
  for (size_t index = 0; index < downloads.size(); ++index) {
    EXPECT_EQ(downloads[index].flags, index == 0 ? 2u : 3u) << index;
    records += downloads[index].records;
  }
  EXPECT_EQ(records, 200u);

  Qor_Can_TxTrace_State_t loaded = state(handle);
  EXPECT_EQ(loaded.state, 1u);
  EXPECT_EQ(loaded.secondValue, 200u);
  EXPECT_EQ(Qor_Can_TxTrace_Play(port_, handle, 1), kUnknownFlag);
  ASSERT_EQ(Qor_Can_TxTrace_Play(port_, handle, 0), 0u) << lastText();
  const std::vector<CanFrame> heard = heardWhenSent();
  ASSERT_EQ(heard.size(), items.size());
  for (size_t index = 0; index < items.size(); ++index) {
    EXPECT_EQ(heard[index].identifier, items[index].identifier) << index;
    EXPECT_EQ(heard[index].dlc, items[index].dlc) << index;
    EXPECT_EQ(heard[index].data, dataOf(items[index])) << index;
  }
  const Qor_Can_TxTrace_State_t played = state(handle);
  EXPECT_EQ(played.state, 3u);
  EXPECT_EQ(played.thirdValue, 200u);

  ASSERT_EQ(Qor_Can_TxTrace_Free(port_, handle), 0u) << lastText();
  EXPECT_FALSE(firmware_->trace(kSender, handle));
}

TEST_F(TxTraceRoad, ItemsAndFlagsAreCheckedBeforeAnythingIsSent) {
  const uint32_t handle = allocate();
  std::vector<Qor_Can_TxTrace_Item_t> items = traceItems(10);
  items[9].dlc = 16;
  EXPECT_EQ(Qor_Can_TxTrace_Download(port_, handle, 10, 0, items.data()), kInvalidDlc);
  EXPECT_EQ(lastText(), "0x02020101 - CAN - invalid dlc - only values from 0 to 16 are valid");
  EXPECT_EQ(Qor_Can_TxTrace_Download(port_, handle, 9, 4, items.data()), kUnknownFlag);
  EXPECT_EQ(Qor_Can_TxTrace_Download(port_, handle, 0, 0, nullptr), 0u);
  EXPECT_EQ(Qor_Can_TxTrace_Download(port_, handle, 1, 0, nullptr), kInvalidParameter);
  EXPECT_TRUE(firmware_->downloads(kSender, handle).empty());
  EXPECT_EQ(state(handle).state, 0u);
}

TEST_F(TxTraceRoad, PropertiesZeroAndOneAreSetAndRead) {
  const uint32_t handle = allocate();
  ASSERT_EQ(Qor_Can_TxTrace_Property_SetById(port_, handle, 0, 77), 0u) << lastText();
  ASSERT_EQ(Qor_Can_TxTrace_Property_SetById(port_, handle, 1, 0xABCDEF01), 0u) << lastText();
  EXPECT_EQ(firmware_->traceProperty(kSender, handle, 1), 0xABCDEF01u);
  uint32_t value = 0;
  ASSERT_EQ(Qor_Can_TxTrace_Property_GetById(port_, handle, 0, &value), 0u) << lastText();
  EXPECT_EQ(value, 77u);
  ASSERT_EQ(Qor_Can_TxTrace_Property_GetById(port_, handle, 1, &value), 0u) << lastText();
  EXPECT_EQ(value, 0xABCDEF01u);
  EXPECT_EQ(Qor_Can_TxTrace_Property_SetById(port_, handle, 2, 1), kInvalidParameter);
  EXPECT_EQ(lastText(), "0x02020007 - CAN - invalid parameter - property id is unknown");
  EXPECT_EQ(Qor_Can_TxTrace_Property_GetById(port_, handle, 2, &value), kInvalidParameter);
  EXPECT_EQ(lastText(), "0x02020007 - CAN - invalid parameter - property id is unknown");
}

// Answers shorter than the fields read, or naming another property, are refused and nothing is written.
TEST_F(TxTraceRoad, ShortOrMismatchedAnswersAreRefused) {
  device_->expect(0x79, words({0, 0})).answer(words({0, 0}));
  device_->expect(0x79, words({4, 7})).answer(words({4, 7, 1, 2}));
  device_->expect(0x79, words({6, 7, 1})).answer(words({6, 7, 1}));
  device_->expect(0x79, words({6, 7, 1})).answer(words({6, 7, 0, 99, 0}));
  device_->expect(0x79, words({4, 7})).answer(words({4, 7, 0xE, 10, 11}));
  uint32_t handle = 0xEE;
  EXPECT_EQ(Qor_Can_TxTrace_Allocate(port_, &handle), kShortAnswer);
  EXPECT_EQ(handle, 0xEEu);
  Qor_Can_TxTrace_State_t state{9, 9, 9};
  EXPECT_EQ(Qor_Can_TxTrace_GetState(port_, 7, &state), kShortAnswer);
  EXPECT_EQ(state.state, 9u);
  uint32_t value = 0xEE;
  EXPECT_EQ(Qor_Can_TxTrace_Property_GetById(port_, 7, 1, &value), kShortAnswer);
  EXPECT_EQ(Qor_Can_TxTrace_Property_GetById(port_, 7, 1, &value), kMismatchedAnswer);
  EXPECT_EQ(value, 0xEEu);
  ASSERT_EQ(Qor_Can_TxTrace_GetState(port_, 7, &state), 0u) << lastText();
  EXPECT_EQ(state.state, 6u) << "bits 0 and 1 as 2, bit 2 as 4, bit 3 dropped";
  EXPECT_EQ(state.secondValue, 10u);
  EXPECT_EQ(state.thirdValue, 11u);
}

}  // namespace
}  // namespace qor::can
