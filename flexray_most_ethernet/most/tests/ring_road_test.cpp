// Control messages and the monitor on an emulated MOST ring: what one port sends reaches the other nodes' receive
// sides and the monitors of those that enabled it, and the transmitter's busy time decides how long sending waits.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/most_ring.hpp"
#include "qor_emulator/most_ring_firmware.hpp"
#include "qor_kit/monitor_items.hpp"
#include "qor_most.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using emulator::kMostMonitorControlMessageId;
using emulator::kMostMonitorItemHeadBytes;
using emulator::MostControlMessage;

constexpr uint16_t kFirstAddress = 0x100, kSecondAddress = 0x101, kPeerAddress = 0x102;

std::string lastError() { return Qor_GetLastErrorDescription(); }

uint16_t u16At(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// A monitor item as the ring's firmware reports control messages.
struct Item {
  uint16_t monitorId;
  uint16_t source, target, function;
  uint8_t operationType;
  std::vector<uint8_t> data;
};

class MostRingRoad : public InterfaceFixture {
 protected:
  MostRingRoad() : InterfaceFixture(mostMonitorController()) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    ring_.attach(*device_, 1, kFirstAddress);
    ring_.attach(*device_, 2, kSecondAddress);
    ring_.attach(peer_, 1, kPeerAddress);
    firmware_ = emulator::MostRingFirmware::attachTo(*device_, ring_, {1, 2});
    peerFirmware_ = emulator::MostRingFirmware::attachTo(peer_, ring_, {1});
    first_ = open(1);
    second_ = open(2);
  }

  // Reads what the port's monitor kept until count items came or the time ran out, and walks them.
  std::vector<Item> monitorItems(uint32_t port, size_t count,
                                 std::chrono::milliseconds within = std::chrono::seconds(3)) {
    std::vector<Item> items;
    std::vector<uint8_t> kept;
    const auto until = std::chrono::steady_clock::now() + within;
    while (items.size() < count && std::chrono::steady_clock::now() < until) {
      std::vector<uint8_t> buffer(4096);
      uint32_t size = static_cast<uint32_t>(buffer.size());
      uint8_t overflow = 0;
      EXPECT_EQ(Qor_Most_Monitor_GetData(port, &overflow, &size, buffer.data()), 0u) << lastError();
      EXPECT_EQ(overflow, 0u);
      kept.insert(kept.end(), buffer.begin(), buffer.begin() + size);
      items.clear();
      const kit::WalkEnd end = kit::walkItems(
          kept, kMostMonitorItemHeadBytes,
          [](std::span<const uint8_t> rest) -> std::optional<kit::ItemExtent> {
            const size_t bytes = rest[0] | rest[1] << 8;
            return kit::ItemExtent{bytes, (bytes + 3) & ~size_t{3}};
          },
          [&](std::span<const uint8_t> item) {
            const std::vector<uint8_t> bytes(item.begin(), item.end());
            items.push_back(Item{u16At(bytes, 2), u16At(bytes, 16), u16At(bytes, 18), u16At(bytes, 22), bytes[24],
                                 std::vector<uint8_t>(bytes.begin() + 28, bytes.end())});
            return true;
          });
      EXPECT_EQ(end, kit::WalkEnd::Complete);
      if (items.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return items;
  }

  emulator::Device peer_{emulator::DeviceConfig{.serialNumber = 2, .hostType = 40}};
  emulator::MostRing ring_;
  std::shared_ptr<emulator::MostRingFirmware> firmware_, peerFirmware_;
  uint32_t first_ = 0, second_ = 0;
};

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
