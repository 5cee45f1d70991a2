// Control messages and the monitor on an emulated MOST ring: what one port sends reaches the other nodes' receive
// sides and the monitors of those that enabled it, and the transmitter's busy time decides how long sending waits.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "most_ring_road.hpp"

namespace qor::test {
namespace {

using emulator::kMostMonitorControlMessageId;
using emulator::MostControlMessage;

const Qor_Most_Cms_Message_t kMessage = {kSecondAddress, 0x52, 0x01, 0x0ABC, 0x0C, 0x07};

TEST_F(MostRingRoad, AControlMessageReachesTheOtherNodesAndTheMonitorsThatEnabledIt) {
  const uint16_t controlMessages[] = {kMostMonitorControlMessageId};
  const uint16_t otherIds[] = {5};
  ASSERT_EQ(Qor_Most_Monitor_Start(second_, 0, 0, 1, controlMessages), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Monitor_Start(first_, 0, 0, 1, controlMessages), 0u) << lastError();

  const uint8_t data[] = {0xA1, 0xB2, 0xC3};
  uint32_t status = 0, result = 0;
  ASSERT_EQ(Qor_Most_Cms_SendMessage(first_, 100'000, &kMessage, data, sizeof data, &status, &result), 0u)
      << lastError();
  EXPECT_EQ(result, QOR_MOST_CMS_RESULT_SENT);

  for (const auto& received : {firmware_->received(2), peerFirmware_->received(1)}) {
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].sourceAddress, kFirstAddress);
    EXPECT_EQ(received[0].targetAddress, kSecondAddress);
    EXPECT_EQ(received[0].functionId, 0x0ABC);
    EXPECT_EQ(received[0].data, std::vector<uint8_t>(data, data + 3));
  }
  EXPECT_TRUE(firmware_->received(1).empty());  // the sender does not hear itself

  const std::vector<Item> items = monitorItems(second_, 1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].monitorId, kMostMonitorControlMessageId);
  EXPECT_EQ(items[0].source, kFirstAddress);
  EXPECT_EQ(items[0].target, kSecondAddress);
  EXPECT_EQ(items[0].function, 0x0ABC);
  EXPECT_EQ(items[0].operationType, 0x0C);
  EXPECT_EQ(items[0].data, std::vector<uint8_t>(data, data + 3));

  // The peer's message reaches both ports; the second port no longer reports control messages.
  ASSERT_EQ(Qor_Most_Monitor_EnabledIds_Change(second_, 0, 1, otherIds), 0u) << lastError();
  ring_.transmit(peer_, 1, MostControlMessage{.targetAddress = kFirstAddress, .functionId = 0x123, .data = {9}});
  const std::vector<Item> firstItems = monitorItems(first_, 1);
  ASSERT_EQ(firstItems.size(), 1u);
  EXPECT_EQ(firstItems[0].source, kPeerAddress);
  EXPECT_EQ(firstItems[0].function, 0x123);
  EXPECT_EQ(firmware_->received(2).size(), 2u);
  EXPECT_TRUE(monitorItems(second_, 1, std::chrono::milliseconds(200)).empty());

  EXPECT_EQ(Qor_Most_Monitor_Stop(first_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_Stop(second_), 0u) << lastError();
  ring_.transmit(peer_, 1, MostControlMessage{});
  EXPECT_EQ(firmware_->received(1).size(), 2u);
}

TEST_F(MostRingRoad, TheMonitorsEventTellsThatDataArrived) {
  const uint16_t controlMessages[] = {kMostMonitorControlMessageId};
  ASSERT_EQ(Qor_Most_Monitor_Start(second_, 0, 0, 1, controlMessages), 0u) << lastError();
  ExternalEvent arrived{};
  ASSERT_EQ(Qor_Events_AllocateEvent(second_, 0, &arrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Monitor_EnableEvent(second_, nullptr), 0x02040007u);
  ASSERT_EQ(Qor_Most_Monitor_EnableEvent(second_, &arrived), 0u) << lastError();

  ring_.transmit(peer_, 1, MostControlMessage{.functionId = 0x77, .data = {1, 2}});
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(second_, &arrived, 3000), 0u) << "an item came";
  const std::vector<Item> items = monitorItems(second_, 1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].function, 0x77);

  EXPECT_EQ(Qor_Most_Monitor_DisableEvent(second_), 0u) << lastError();
  EXPECT_EQ(Qor_Events_DeallocateEvent(second_, &arrived), 0u) << lastError();
}

TEST_F(MostRingRoad, SendingWaitsAsLongAsTheTransmitterIsBusyAndNoLonger) {
  firmware_->setTransmitDuration(std::chrono::milliseconds(40));
  uint32_t status = 0xEE, result = 0xEE;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Qor_Most_Cms_SendMessage(first_, 1'000'000, &kMessage, nullptr, 0, &status, &result), 0u) << lastError();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
  EXPECT_EQ(result, QOR_MOST_CMS_RESULT_SENT);
  EXPECT_EQ(status, 0u);

  // 0 µs leaves the transmitter's 3 ms: it is still busy then.
  ASSERT_EQ(Qor_Most_Cms_SendMessage(first_, 0, &kMessage, nullptr, 0, &status, &result), 0u) << lastError();
  EXPECT_EQ(result, QOR_MOST_CMS_RESULT_SENT | QOR_MOST_CMS_RESULT_STILL_BUSY);
  EXPECT_EQ(peerFirmware_->received(1).size(), 2u);
}

TEST_F(MostRingRoad, TheMonitorsSettingsAreKeptPerNode) {
  const uint8_t streaming[] = {4, 5};
  ASSERT_EQ(Qor_Most_Monitor_StreamingDataConfig_Set(first_, 0x11, 2, streaming), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Monitor_InputSelection_Set(first_, 1), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Monitor_DataHoldTime_Set(first_, 500), 0u) << lastError();
  uint32_t flags = 0, input = 0;
  uint8_t count = 4, bytes[4] = {};
  uint16_t time = 0;
  ASSERT_EQ(Qor_Most_Monitor_StreamingDataConfig_Get(first_, &flags, &count, bytes), 0u) << lastError();
  EXPECT_EQ(flags, 0x11u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(bytes[1], 5u);
  ASSERT_EQ(Qor_Most_Monitor_InputSelection_Get(first_, &input), 0u) << lastError();
  EXPECT_EQ(input, 1u);
  ASSERT_EQ(Qor_Most_Monitor_DataHoldTime_Get(first_, &time), 0u) << lastError();
  EXPECT_EQ(time, 500u);
  ASSERT_EQ(Qor_Most_Monitor_InputSelection_Get(second_, &input), 0u) << lastError();
  EXPECT_EQ(input, 0u);
}

}  // namespace
}  // namespace qor::test
