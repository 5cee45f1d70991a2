// The Ethernet monitor end to end: the control requests byte-exact, the firmware reader with its buffer checks, and
// frames sent over an emulated link arriving in the host ring (or read from the firmware) as whole items with the
// link time; a lying block pushed by the firmware ends without hanging the port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ethernet_road.hpp"
#include "qor_emulator/ethernet_monitor_firmware.hpp"
#include "qor_ethernet_monitor.h"

namespace qor::test {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kMonitor = 0x50;
constexpr emulator::MacAddress kSenderMac{0x02, 0, 0, 0, 0, 0x02};

Bytes item(const Bytes& frame, uint64_t stamp) {
  Bytes bytes = Record().u16(static_cast<uint16_t>(12 + frame.size())).u16(0).u64(stamp);
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  return bytes;
}

struct Item {
  uint64_t stamp;
  Bytes frame;
};

std::vector<Item> itemsIn(const Bytes& buffer, uint32_t size) {
  std::vector<Item> items;
  for (size_t offset = 0; offset + 12 <= size;) {
    Ethernet_Param_Monitor_Item_t head;
    std::memcpy(&head, buffer.data() + offset, sizeof head);
    if (head.itemBytes < 12 || offset + head.itemBytes > size) break;
    items.push_back({uint64_t{head.timeStampNsHigh} << 32 | head.timeStampNsLow,
                     Bytes(buffer.begin() + offset + 12, buffer.begin() + offset + head.itemBytes)});
    offset += head.itemBytes;
  }
  return items;
}

using MonitorRoad = EthernetRoad;

TEST_F(MonitorRoad, ControlRequestsGoOutByteExactAndAnswersAreRead) {
  device_->expect(kMonitor, Record().u32(0).u32(7)).answer(Record().u32(0));
  device_->expect(kMonitor, Record().u32(1)).answer(Record().u32(1));
  device_->expect(kMonitor, Record().u32(2)).answer(Record().u32(2));
  device_->expect(kMonitor, Record().u32(5).u8(0x42).u8(0).u8(3).u8(0).u8(1).u8(2).u8(3)).answer(Record().u32(5));
  device_->expect(kMonitor, Record().u32(6).u16(2).u16(0).u32(99)).answer(Record().u32(6));
  device_->expect(kMonitor, Record().u32(7).u16(1).u16(0)).answer(Record().u32(7).u32(0).u32(1234));
  device_->expect(kMonitor, Record().u32(4)).answer(Record().u32(4).u32(0xFF).u64(0x1122334455667788).u64(42));
  EXPECT_EQ(Qor_Ethernet_Monitor_Config(port_, 7), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Monitor_Start(port_), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Monitor_Stop(port_), 0u) << lastText();
  const uint8_t data[] = {1, 2, 3};
  EXPECT_EQ(Qor_Ethernet_Monitor_WriteUserEvent(port_, 0x42, 3, data), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Monitor_Property_SetById(port_, 2, 99), 0u) << lastText();
  uint32_t value = 0;
  EXPECT_EQ(Qor_Ethernet_Monitor_Property_GetById(port_, 1, &value), 0u) << lastText();
  EXPECT_EQ(value, 1234u);
  uint32_t flags = 0;
  uint64_t first = 0, second = 0;
  EXPECT_EQ(Qor_Ethernet_Monitor_GetTime(port_, &flags, &first, &second), 0u) << lastText();
  EXPECT_EQ(flags, 1u);
  EXPECT_EQ(first, 0x1122334455667788u);
  EXPECT_EQ(second, 42u);
}

TEST_F(MonitorRoad, TheFirmwareReaderCopiesTheDataAndSaysWhenTheBufferIsTooSmall) {
  device_->expect(kMonitor, Record().u32(0).u32(0)).answer(Record().u32(0));
  ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, 0), 0u) << lastText();
  const Bytes one = item(Bytes(60, 0x11), 5), two = item(Bytes(64, 0x22), 6);
  Bytes block = Record().u32(3).u16(9).u16(0);  // the count claims more items than came
  block.insert(block.end(), one.begin(), one.end());
  block.insert(block.end(), two.begin(), two.end());
  device_->expect(kMonitor, Record().u32(3)).answer(block);
  Bytes buffer(1000);
  uint16_t count = 0;
  uint32_t size = 1000;
  EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &count, &size, buffer.data()), 0u) << lastText();
  EXPECT_EQ(count, 2);
  EXPECT_EQ(size, one.size() + two.size());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), Bytes(block.begin() + 8, block.end()));

  Bytes large = Record().u32(3).u16(1).u16(0);
  const Bytes big = item(Bytes(588, 0x33), 7);
  large.insert(large.end(), big.begin(), big.end());
  device_->expect(kMonitor, Record().u32(3)).answer(large);
  size = 512;
  EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &count, &size, buffer.data()), kBufferTooSmall);
  EXPECT_NE(lastText().find("monitor data (600 bytes) > buffer (512 bytes)"), std::string::npos) << lastText();
  EXPECT_EQ(size, 512u);

  device_->expect(kMonitor, Record().u32(3)).answer(Record().u32(3).u16(1));
  EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &count, &size, buffer.data()), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 6 bytes, 8 expected"), std::string::npos) << lastText();
}

TEST_F(MonitorRoad, AConfigurationTheFirmwareRefusesLeavesNoRing) {
  device_->expect(kMonitor, Record().u32(0).u32(8)).fail(0x1F, "busy");
  device_->expect(kMonitor, Record().u8(8).u8(0).u16(0)).answer(Record().u8(8).u8(0).u16(0));  // the core's stop
  EXPECT_NE(Qor_Ethernet_Monitor_Config(port_, QOR_ETHERNET_MONITOR_HOST_RING), 0u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
  uint16_t count = 0;
  uint32_t size = 10;
  uint8_t buffer[10];
  EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &count, &size, buffer), kNotInitialized);
  EXPECT_NE(lastText().find("monitor not initialized"), std::string::npos) << lastText();
}

TEST_F(MonitorRoad, RefusalsSendNothingAndSayWhy) {
  uint16_t count = 0;
  uint32_t size = 10, value = 0, flags = 0;
  uint64_t time = 0;
  uint8_t buffer[10];
  const Refusal cases[] = {
      {"data before any configuration",
       [&](uint32_t p) { return Qor_Ethernet_Monitor_GetData(p, &count, &size, buffer); }, kNotInitialized,
       "monitor is not initialized"},
      {"flags 16", [](uint32_t p) { return Qor_Ethernet_Monitor_Config(p, 16); }, kUnknownFlag, ""},
      {"property 3 set", [](uint32_t p) { return Qor_Ethernet_Monitor_Property_SetById(p, 3, 0); }, kInvalidParameter,
       "id '3' is unknown"},
      {"property 3 get", [&](uint32_t p) { return Qor_Ethernet_Monitor_Property_GetById(p, 3, &value); },
       kInvalidParameter, "id '3' is unknown"},
      {"user event without data", [](uint32_t p) { return Qor_Ethernet_Monitor_WriteUserEvent(p, 1, 2, nullptr); },
       kInvalidParameter, "'data' is NULL"},
      {"time without second", [&](uint32_t p) { return Qor_Ethernet_Monitor_GetTime(p, &flags, &time, nullptr); },
       kInvalidParameter, "'second' is NULL"},
  };
  expectRefusals(port_, cases);
}

// ---------------------------------------------------------------- over an emulated link

class MonitorLinkRoad : public EthernetLinkRoad<emulator::EthernetMonitorFirmware> {
 protected:
  void SetUp() override {
    EthernetLinkRoad::SetUp();
    port_ = open(1);
  }

  // From node 2: the frame and its link time.
  Item send(size_t payload, uint8_t seed) {
    Bytes data(payload);
    for (size_t index = 0; index < payload; ++index) data[index] = static_cast<uint8_t>(seed + index);
    const emulator::EthernetFrame frame =
        emulator::EthernetFrame::make(emulator::kBroadcastMac, kSenderMac, 0x88B5, data);
    return {link_.transmit(*device_, 2, frame), frame.bytes};
  }

  // Reads until count items came or three seconds passed.
  std::vector<Item> readItems(size_t count, uint32_t capacity = 4000) {
    std::vector<Item> all;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
      Bytes buffer(capacity);
      uint16_t items = 0;
      uint32_t size = capacity;
      EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &items, &size, buffer.data()), 0u) << lastText();
      const std::vector<Item> read = itemsIn(buffer, size);
      EXPECT_EQ(read.size(), items);
      all.insert(all.end(), read.begin(), read.end());
      if (items == 0) std::this_thread::sleep_for(2ms);
    }
    return all;
  }

  static void expectSame(const std::vector<Item>& got, const std::vector<Item>& sent) {
    ASSERT_EQ(got.size(), sent.size());
    for (size_t index = 0; index < sent.size(); ++index) {
      EXPECT_EQ(got[index].stamp, sent[index].stamp) << index;
      EXPECT_EQ(got[index].frame, sent[index].frame) << index;
    }
  }

  uint32_t port_ = 0;
};

TEST_F(MonitorLinkRoad, FramesOnTheLinkArriveInTheHostRingWhole) {
  firmware_->setItemsPerFrame(3);
  ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, QOR_ETHERNET_MONITOR_HOST_RING), 0u) << lastText();
  ASSERT_EQ(Qor_Ethernet_Monitor_Start(port_), 0u) << lastText();
  std::vector<Item> sent;
  for (size_t index = 0; index < 30; ++index) sent.push_back(send((index * 211) % 1501, static_cast<uint8_t>(index)));
  firmware_->flush();
  expectSame(readItems(sent.size(), 3000), sent);

  // An item larger than the whole buffer is reported and stays for a larger one.
  const Item large = send(1500, 7);
  firmware_->flush();
  Bytes small(100);
  uint16_t count = 0;
  uint32_t size = 0;
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  uint32_t code = 0;
  do {
    size = static_cast<uint32_t>(small.size());
    code = Qor_Ethernet_Monitor_GetData(port_, &count, &size, small.data());
  } while (code == 0 && std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(code, kBufferTooSmall);
  EXPECT_NE(lastText().find("monitor item (1526 bytes) > buffer (100 bytes)"), std::string::npos) << lastText();
  expectSame(readItems(1), {large});

  EXPECT_EQ(Qor_Ethernet_Monitor_Reset(port_), 0u) << lastText();
  size = static_cast<uint32_t>(small.size());
  EXPECT_EQ(Qor_Ethernet_Monitor_GetData(port_, &count, &size, small.data()), kNotInitialized);
  EXPECT_NE(lastText().find("monitor not initialized"), std::string::npos) << lastText();
}

TEST_F(MonitorLinkRoad, ALyingBlockEndsWithoutHangingThePort) {
  ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, QOR_ETHERNET_MONITOR_HOST_RING), 0u) << lastText();
  ASSERT_EQ(Qor_Ethernet_Monitor_Start(port_), 0u) << lastText();
  const Bytes good = item(Bytes(60, 0x11), 5);
  const Bytes lies[] = {Record().u16(0).u16(0).u64(0), Record().u16(9).u16(0).u64(0), Record().u16(500).u16(0).u64(0)};
  for (const Bytes& lie : lies) {
    Bytes block = Record().u32(3).u16(2).u16(0);
    block.insert(block.end(), good.begin(), good.end());
    block.insert(block.end(), lie.begin(), lie.end());
    sendUnsolicited(port_, QOR_FRAME_RESPONSE, kMonitor, block);
  }
  const Item after = send(100, 1);
  const std::vector<Item> items = readItems(4);
  ASSERT_EQ(items.size(), 4u) << "three good items before the lies, then the frame sent after them";
  EXPECT_EQ(items[0].frame, Bytes(60, 0x11));
  expectSame({items[3]}, {after});
}

TEST_F(MonitorLinkRoad, TheFirmwareReaderWorksAfterTheRing) {
  ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, QOR_ETHERNET_MONITOR_HOST_RING), 0u) << lastText();
  // Without the ring now: the core's monitor must not take the answers of the reads.
  ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, 0), 0u) << lastText();
  ASSERT_EQ(Qor_Ethernet_Monitor_Start(port_), 0u) << lastText();
  std::vector<Item> sent;
  for (uint8_t index = 0; index < 5; ++index) sent.push_back(send(200, index));
  expectSame(readItems(sent.size()), sent);
}

TEST_F(MonitorLinkRoad, ARingThatEndsWhileTheApplicationReadsItIsNotFreedUnderTheReader) {
  std::atomic<bool> reading{true};
  std::atomic<size_t> reads{0};
  std::thread reader([&] {
    Bytes buffer(4000);
    while (reading) {
      uint16_t count = 0;
      uint32_t size = static_cast<uint32_t>(buffer.size());
      const uint32_t code = Qor_Ethernet_Monitor_GetData(port_, &count, &size, buffer.data());
      EXPECT_TRUE(code == 0 || code == kNotInitialized) << lastText();
      ++reads;
    }
  });
  for (uint8_t round = 0; round < 10; ++round) {
    ASSERT_EQ(Qor_Ethernet_Monitor_Config(port_, QOR_ETHERNET_MONITOR_HOST_RING), 0u) << lastText();
    ASSERT_EQ(Qor_Ethernet_Monitor_Start(port_), 0u) << lastText();
    for (uint8_t frame = 0; frame < 20; ++frame) send(100, frame);
    ASSERT_EQ(Qor_Ethernet_Monitor_Reset(port_), 0u) << lastText();
  }
  reading = false;
  reader.join();
  EXPECT_GT(reads.load(), 0u);
}

}  // namespace
}  // namespace qor::test
