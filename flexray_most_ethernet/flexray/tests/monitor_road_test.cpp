// The FlexRay monitor from the library through the daemon to emulated controllers: the firmware's records
// byte-exact, and on an emulated cluster of two nodes the frames one node sends arriving in the other's monitor ring
// and receive buffers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "flexray_road.hpp"
#include "qor_emulator/flexray_cluster.hpp"
#include "qor_emulator/flexray_firmware.hpp"
#include "qor_monitor.h"

namespace qor::test {
namespace {

constexpr uint8_t kMonitor = 0x21;
constexpr uint32_t kNotInitialized = 0x02070301;
constexpr uint32_t kRing = 64 * 1024;

// A monitor record's head.
Record head(uint8_t subFunction, uint8_t instance = 0) {
  return std::move(Record().u8(subFunction).u8(instance).u16(0));
}

class FlexRayMonitorRoad : public FlexRayRoad {
 protected:
  // Configured with flags 0, the host's ring opened.
  void configure() {
    device_->expect(kMonitor, head(0).u32(0xC0)).answer(head(0));
    ASSERT_EQ(Qor_FlexRay_Monitor_Config(port_, 0, kRing), 0u) << lastText();
  }
  // The core's stop of an instance whose ring is open when the port closes.
  void expectClosingStop(uint8_t instance = 0) {
    device_->expect(kMonitor, head(2, instance)).answer(head(2, instance));
  }
};

TEST_F(FlexRayMonitorRoad, EveryFunctionRefusesAPortOfAnotherBus) {
  uint32_t size = 0, flags = 0, value = 0;
  uint64_t time = 0;
  uint8_t overflow = 0;
  const Qor_FlexRay_Monitor_Filter_t filter{};
  ExternalEvent event{};
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_FlexRay_Monitor_Config(p, 0, 0); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_Start(p); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_Stop(p); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_Config_Off(p); },
      [&](uint32_t p) { return Qor_FlexRay_Monitor_GetData(p, &overflow, &size, nullptr); },
      [&](uint32_t p) { return Qor_FlexRay_Monitor_EnableEvent(p, &event); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_DisableEvent(p); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_WriteUserEvent(p, 1, 0, nullptr); },
      [&](uint32_t p) { return Qor_FlexRay_Monitor_GetTime(p, &flags, &time, &time); },
      [&](uint32_t p) { return Qor_FlexRay_Monitor_DefineFilter(p, &filter); },
      [](uint32_t p) { return Qor_FlexRay_Monitor_Property_SetById(p, 0, 0); },
      [&](uint32_t p) { return Qor_FlexRay_Monitor_Property_GetById(p, 0, &value); },
  };
  expectEachRefusesAnotherBus(calls);
}

// API bits 0-4 to 1-5, 5-6 to 8-9, 7 dropped, 8-12 to 10-14; bits 6 and 7 always.
TEST_F(FlexRayMonitorRoad, ConfigMapsTheFlagsAndOpensTheRing) {
  device_->expect(kMonitor, head(0).u32(0x7FFE)).answer(head(0));
  device_->expect(kMonitor, head(0, 2).u32(0xC0 | 0x02 | 0x100 | 0x400)).answer(head(0, 2));
  EXPECT_EQ(Qor_FlexRay_Monitor_Config(port_, 0x1FFF, kRing), 0u) << lastText();
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 1u);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port_, 2), 0u);
  EXPECT_EQ(Qor_FlexRay_Monitor_Config(port_, 0x1 | 0x20 | 0x80 | 0x100, kRing), 0u) << lastText();

  EXPECT_EQ(Qor_FlexRay_Monitor_Config(port_, 0x2000, kRing), kUnknownFlag);
  EXPECT_EQ(lastText(), described(kUnknownFlag, ""));
  expectClosingStop(0);
  expectClosingStop(2);
}

TEST_F(FlexRayMonitorRoad, StartAndReadingNeedTheConfiguration) {
  uint8_t overflow = 0;
  uint32_t size = 16;
  uint8_t buffer[16];
  EXPECT_EQ(Qor_FlexRay_Monitor_Start(port_), kNotInitialized);
  EXPECT_EQ(lastText(), described(kNotInitialized, ""));
  EXPECT_EQ(Qor_FlexRay_Monitor_GetData(port_, &overflow, &size, buffer), kNotInitialized);

  device_->expect(kMonitor, head(0).u32(0xC0)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Monitor_Config(port_, 0, kRing), kFirmwareBusy);
  EXPECT_EQ(Qor_FlexRay_Monitor_Start(port_), kNotInitialized) << "a failed configuration opens no ring";

  configure();
  device_->expect(kMonitor, head(1)).answer(head(1));
  expectClosingStop();
  EXPECT_EQ(Qor_FlexRay_Monitor_Start(port_), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Monitor_GetData(port_, &overflow, &size, buffer), 0u) << lastText();
  EXPECT_EQ(size, 0u);
}

// The library's stop, then the core's when the ring closes; a failed stop keeps the ring.
TEST_F(FlexRayMonitorRoad, ConfigOffStopsAndClosesUnlessTheStopFails) {
  configure();
  device_->expect(kMonitor, head(2)).fail(kFirmwareBusy, "busy");
  EXPECT_EQ(Qor_FlexRay_Monitor_Config_Off(port_), kFirmwareBusy);
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 1u);
  device_->expect(kMonitor, head(2)).answer(head(2));
  device_->expect(kMonitor, head(2)).answer(head(2));
  EXPECT_EQ(Qor_FlexRay_Monitor_Config_Off(port_), 0u) << lastText();
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
}

TEST_F(FlexRayMonitorRoad, UserEventsTimeAndPropertiesGoToTheCurrentInstance) {
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port_, 3), 0u);
  const uint8_t data[3] = {0xA, 0xB, 0xC};
  device_->expect(kMonitor, head(5, 3).u8(0x42).u8(0).u8(0).u8(0)).answer(head(5, 3));
  device_->expect(kMonitor, head(5, 3).u8(0x43).u8(0).u8(3).u8(0).u8(0xA).u8(0xB).u8(0xC)).answer(head(5, 3));
  device_->expect(kMonitor, head(4, 3)).answer(head(4, 3).u32(0xFFFFFFFF).u64(0x1122334455667788).u64(99));
  device_->expect(kMonitor, head(7, 3).u16(2).u16(0).u32(0xCAFE)).answer(head(7, 3));
  device_->expect(kMonitor, head(8, 3).u16(1).u16(0)).answer(head(8, 3).u32(0).u32(0xBEEF));
  EXPECT_EQ(Qor_FlexRay_Monitor_WriteUserEvent(port_, 0x42, 0, nullptr), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Monitor_WriteUserEvent(port_, 0x43, 3, data), 0u) << lastText();
  EXPECT_EQ(Qor_FlexRay_Monitor_WriteUserEvent(port_, 0x43, 3, nullptr), kInvalidParameter);
  uint32_t flags = 7;
  uint64_t first = 7, second = 7;
  EXPECT_EQ(Qor_FlexRay_Monitor_GetTime(port_, &flags, &first, &second), 0u) << lastText();
  EXPECT_EQ(flags, 1u);
  EXPECT_EQ(first, 0x1122334455667788u);
  EXPECT_EQ(second, 99u);
  EXPECT_EQ(Qor_FlexRay_Monitor_Property_SetById(port_, 2, 0xCAFE), 0u) << lastText();
  uint32_t value = 0;
  EXPECT_EQ(Qor_FlexRay_Monitor_Property_GetById(port_, 1, &value), 0u) << lastText();
  EXPECT_EQ(value, 0xBEEFu);
  EXPECT_EQ(Qor_FlexRay_Monitor_Property_SetById(port_, 3, 0), kInvalidParameter);
  EXPECT_EQ(lastText(), described(kInvalidParameter, "id '3' is unknown"));
  value = 5;
  EXPECT_EQ(Qor_FlexRay_Monitor_Property_GetById(port_, 3, &value), kInvalidParameter);
  EXPECT_EQ(value, 5u);
}

// Times and property values are read only from bytes the firmware sent: a short answer leaves the times 0 and the
// value as it was.
TEST_F(FlexRayMonitorRoad, GetTimeAndPropertyGetRefuseAShortAnswer) {
  device_->expect(kMonitor, head(8).u16(0).u16(0)).answer(head(8).u32(0).u16(0xBEEF));
  uint32_t value = 5;
  EXPECT_EQ(Qor_FlexRay_Monitor_Property_GetById(port_, 0, &value), kInvalidResponseLength);
  EXPECT_EQ(value, 5u);
  device_->expect(kMonitor, head(4)).answer(head(4).u32(1).u64(5));
  device_->expect(kMonitor, head(4)).fail(kFirmwareBusy, "busy");
  for (uint32_t expected : {kInvalidResponseLength, kFirmwareBusy}) {
    uint32_t flags = 7;
    uint64_t first = 7, second = 7;
    EXPECT_EQ(Qor_FlexRay_Monitor_GetTime(port_, &flags, &first, &second), expected);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(second, 0u);
  }
}

TEST_F(FlexRayMonitorRoad, FilterSendsItsRecordAfterItsChecks) {
  device_->expect(kMonitor, head(6).u32(0).u8(5).u8(3).u16(0).u16(0x1234).u16(0x5678)).answer(head(6));
  const Qor_FlexRay_Monitor_Filter_t good{0, 5, 3, 0, 0x1234, 0x5678};
  EXPECT_EQ(Qor_FlexRay_Monitor_DefineFilter(port_, &good), 0u) << lastText();
  struct Case {
    Qor_FlexRay_Monitor_Filter_t filter;
    uint32_t code;
    const char* text;
  } const cases[] = {
      {{1, 6, 4, 1, 0, 0}, kUnknownFlag, ""},
      {{0, 6, 4, 1, 0, 0}, kInvalidParameter, "reserved bytes have to be zero"},
      {{0, 6, 4, 0, 0, 0}, kUnknownMode, ""},
      {{0, 5, 4, 0, 0, 0}, kInvalidParameter, "channel value '04' is unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Qor_FlexRay_Monitor_DefineFilter(port_, &c.filter), c.code);
    EXPECT_EQ(lastText(), described(c.code, c.text));
  }
}

// ---- two nodes of one emulated cluster ----

constexpr uint8_t kSender = 1, kReceiver = 2;

// What a test reads of a monitor: the entries, in order.
struct Entries {
  std::vector<emulator::FlexRayEntry> entries;
  std::vector<Bytes> fields;  // the entries' fields, owned
  uint8_t overflow = 0;
  bool whole = true;
};

class FlexRayClusterRoad : public InterfaceFixture {
 protected:
  FlexRayClusterRoad() : InterfaceFixture(flexRayNodes()) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = emulator::FlexRayFirmware::attachTo(*device_, cluster_, {kSender, kReceiver});
    sender_ = open(kSender);
    receiver_ = open(kReceiver);
  }

  uint32_t txBuffer(uint16_t slot, uint8_t channels) {
    const Qor_FlexRay_TxMessage_t message{slot, 0, 0, channels, 0, 0, 0, nullptr};
    uint32_t handle = 0;
    EXPECT_EQ(Qor_FlexRay_Message_Tx_Define(sender_, &message, &handle), 0u) << lastText();
    return handle;
  }
  void transmit(uint32_t handle, uint32_t serial) {
    const uint16_t words[2] = {static_cast<uint16_t>(serial), static_cast<uint16_t>(serial >> 16)};
    ASSERT_EQ(Qor_FlexRay_Message_Transmit(sender_, handle, 2, 0, words), 0u) << lastText();
  }
  // Reads the monitor until count entries came or two seconds passed; the last read decides.
  Entries read(uint32_t port, size_t count, uint32_t capacity = kRing) {
    Entries result;
    std::vector<uint8_t> buffer(capacity);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (true) {
      uint32_t size = capacity;
      uint8_t overflow = 0;
      EXPECT_EQ(Qor_FlexRay_Monitor_GetData(port, &overflow, &size, buffer.data()), 0u) << lastText();
      result.overflow |= overflow;
      result.whole &= emulator::walkFlexRayEntries(std::span(buffer.data(), size), [&](const auto& entry) {
        result.fields.emplace_back(entry.fields.begin(), entry.fields.end());
        result.entries.push_back(entry);
      });
      if (result.entries.size() >= count || std::chrono::steady_clock::now() > deadline) return result;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  emulator::FlexRayCluster cluster_;
  std::shared_ptr<emulator::FlexRayFirmware> firmware_;
  uint32_t sender_ = 0, receiver_ = 0;
};

// Frame entry fields: u16 slot, u8 cycle, u8 channels, u8 words, 3 x 0, data.
Bytes frameFields(uint16_t slot, uint8_t channels, uint32_t serial) {
  return Record().u16(slot).u8(0).u8(channels).u8(2).zeros(3).u32(serial);
}

TEST_F(FlexRayClusterRoad, WhatOneNodeSendsReachesTheOthersMonitorAndReceiveBuffer) {
  ASSERT_EQ(Qor_FlexRay_Monitor_Config(receiver_, 0, kRing), 0u) << lastText();
  ASSERT_EQ(Qor_FlexRay_Monitor_Start(receiver_), 0u) << lastText();
  ASSERT_EQ(Qor_FlexRay_Monitor_Config(sender_, 0, kRing), 0u) << lastText();
  ASSERT_EQ(Qor_FlexRay_Monitor_Start(sender_), 0u) << lastText();
  uint32_t onA = 0, onB = 0;
  ASSERT_EQ(Qor_FlexRay_Message_Rx_Define(receiver_, 0x31, 0, 0, emulator::kFlexRayChannelA, &onA), 0u);
  ASSERT_EQ(Qor_FlexRay_Message_Rx_Define(receiver_, 0x32, 0, 0, emulator::kFlexRayChannelB, &onB), 0u);
  const uint32_t slotA = txBuffer(0x31, emulator::kFlexRayChannelA);
  const uint32_t slotB = txBuffer(0x32, emulator::kFlexRayChannelsAB);
  transmit(slotA, 0xA0A1A2A3);
  transmit(slotB, 0xB0B1B2B3);
  const uint8_t text[2] = {'h', 'i'};
  ASSERT_EQ(Qor_FlexRay_Monitor_WriteUserEvent(receiver_, 9, 2, text), 0u) << lastText();

  const Entries heard = read(receiver_, 3);
  ASSERT_EQ(heard.entries.size(), 3u);
  EXPECT_TRUE(heard.whole);
  EXPECT_EQ(heard.overflow, 0);
  EXPECT_EQ(heard.entries[0].kind, QOR_FLEXRAY_MONITOR_RX_FRAME);
  EXPECT_EQ(heard.fields[0], frameFields(0x31, emulator::kFlexRayChannelA, 0xA0A1A2A3));
  EXPECT_EQ(heard.fields[1], frameFields(0x32, emulator::kFlexRayChannelsAB, 0xB0B1B2B3));
  EXPECT_LE(heard.entries[0].timeNs, heard.entries[1].timeNs);
  EXPECT_EQ(heard.entries[2].kind, emulator::kFlexRayUserEventEntry);
  EXPECT_EQ(heard.fields[2], Record().u8(9).u8(2).u16(0).u8('h').u8('i').operator Bytes());
  const Entries sent = read(sender_, 2);
  ASSERT_EQ(sent.entries.size(), 2u);
  EXPECT_EQ(sent.entries[1].kind, QOR_FLEXRAY_MONITOR_TX_FRAME);
  EXPECT_EQ(sent.fields[1], frameFields(0x32, emulator::kFlexRayChannelsAB, 0xB0B1B2B3));

  uint16_t identifier = 0;
  uint8_t channel = 0, length = 4;
  uint32_t status = 0;
  uint16_t data[4] = {};
  ASSERT_EQ(Qor_FlexRay_Message_Rx_Read(receiver_, onB, &identifier, nullptr, &channel, &status, &length, data), 0u)
      << lastText();
  EXPECT_EQ(identifier, 0x32);
  EXPECT_EQ(channel, emulator::kFlexRayChannelB) << "heard on its channel";
  EXPECT_EQ(status, 1u);
  ASSERT_EQ(length, 2);
  EXPECT_EQ(data[0], 0xB2B3);
  EXPECT_EQ(data[1], 0xB0B1);
  uint32_t found = 0;
  EXPECT_EQ(Qor_FlexRay_Message_GetHandle(receiver_, 0x31, 0, 0, emulator::kFlexRayChannelA, &found), 0u);
  EXPECT_EQ(found, onA);

  ASSERT_EQ(Qor_FlexRay_Monitor_Config_Off(receiver_), 0u) << lastText();
  EXPECT_FALSE(firmware_->monitorRunning(kReceiver, 0));
  transmit(slotA, 1);
  uint32_t size = kRing;
  uint8_t overflow = 0;
  std::vector<uint8_t> buffer(kRing);
  EXPECT_EQ(Qor_FlexRay_Monitor_GetData(receiver_, &overflow, &size, buffer.data()), kNotInitialized);
}

// A ring that cannot take a block drops it whole and says so; what it holds is still whole entries. The monitor's
// event tells when blocks arrive: the ring is read once they have stopped coming.
TEST_F(FlexRayClusterRoad, AFullRingDropsWholeBlocksAndReportsTheOverflow) {
  const uint32_t smallest = Qor_GetMinimumMonitorBufferSize(receiver_);
  ASSERT_GT(smallest, 0u);
  ASSERT_EQ(Qor_FlexRay_Monitor_Config(receiver_, 0, smallest), 0u) << lastText();
  ExternalEvent arrived{};
  ASSERT_EQ(Qor_Events_AllocateEvent(receiver_, 0, &arrived), 0u);
  ASSERT_EQ(Qor_FlexRay_Monitor_EnableEvent(receiver_, &arrived), 0u) << lastText();
  ASSERT_EQ(Qor_FlexRay_Monitor_Start(receiver_), 0u) << lastText();
  const uint32_t slot = txBuffer(0x40, emulator::kFlexRayChannelA);
  const uint32_t frames = 2 * smallest / 24;
  for (uint32_t serial = 0; serial < frames; ++serial) transmit(slot, serial);
  // Every block signals the event once, so hundreds of signals may wait: quiet is a wait that finds none.
  bool quiet = false;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!quiet && std::chrono::steady_clock::now() < giveUp) {
    quiet = Qor_Events_WaitForSingleEvent(receiver_, &arrived, 300) != 0;
  }
  EXPECT_TRUE(quiet);
  EXPECT_EQ(Qor_FlexRay_Monitor_DisableEvent(receiver_), 0u) << lastText();
  EXPECT_EQ(Qor_Events_DeallocateEvent(receiver_, &arrived), 0u);
  const Entries heard = read(receiver_, 0, smallest);
  EXPECT_EQ(heard.overflow, 1);
  EXPECT_TRUE(heard.whole);
  ASSERT_FALSE(heard.entries.empty());
  EXPECT_LT(heard.entries.size(), frames);
  EXPECT_EQ(heard.fields.front(), frameFields(0x40, emulator::kFlexRayChannelA, 0));
}

}  // namespace
}  // namespace qor::test
