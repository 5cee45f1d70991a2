// The CAN monitor end to end: node 2 of an emulated bus transmits, the emulated firmware's monitor of node 1 turns
// what it hears into items with the bus time, and the library hands them over through the daemon: in the ring, read
// directly, to callbacks and in list mode, on firmware of both parameter widths.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "qor_api.h"
#include "qor_can_monitor.h"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_monitor_firmware.hpp"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::CanFrame;
using Item = Qor_Can_Monitor_Item_t;
using LargeItem = Can_Param_Monitor_Buffer64_LargeItem_t;

constexpr uint32_t kUnknownFlag = 0x02020004;
constexpr uint32_t kUnknownMode = 0x02020005;
constexpr uint32_t kBufferUndersized = 0x02020006;
constexpr uint32_t kInvalidParameter = 0x02020007;
constexpr uint32_t kInvalidDataLength = 0x02020002;
constexpr uint32_t kAsyncNotEnabled = 0x0202000C;
constexpr uint32_t kMonitorNotStarted = 0x02020600;
constexpr uint32_t kWideModel = 22;  // parameter width 64, maximum parameter length 4084
constexpr uint8_t kMonitorCommand = 0x50;
constexpr uint32_t kCompactUnitNs = 400;

uint8_t dlcOf(size_t bytes) {
  constexpr uint8_t kFdBytes[] = {12, 16, 20, 24, 32, 48, 64};
  if (bytes <= 8) return static_cast<uint8_t>(bytes);
  return static_cast<uint8_t>(9 + (std::find(std::begin(kFdBytes), std::end(kFdBytes), bytes) - std::begin(kFdBytes)));
}

Bytes pattern(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(first + index);
  return bytes;
}

Bytes dataOf(const Item& item) { return Bytes(item.data, item.data + std::min<size_t>(item.dlc, 8)); }

class CanMonitorRoad : public InterfaceFixture {
 protected:
  explicit CanMonitorRoad(EmulatedModel model = ethernetController()) : InterfaceFixture(std::move(model)) {}

  void SetUp() override {
    InterfaceFixture::SetUp();
    bus_.attach(*device_, 1);
    bus_.attach(*device_, 2);
    firmware_ = emulator::CanMonitorFirmware::attachTo(*device_, bus_, {1, 2});
  }

  // From node 2; the bus time it went out.
  uint64_t transmit(uint32_t identifier, const Bytes& data, uint8_t flags = 0) {
    return bus_.transmit(*device_, 2, CanFrame{identifier, flags, dlcOf(data.size()), data});
  }

  // Returns once the monitor data sent so far are in the library: the answer to a command comes behind them.
  static void behindMonitorData(uint32_t port) {
    uint32_t flag = 0;
    uint64_t first = 0, second = 0;
    ASSERT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), 0u) << Qor_GetLastErrorDescription();
  }

  // Reads until count items came or three seconds passed.
  static std::vector<Item> readItems(uint32_t port, size_t count, uint32_t bufferItems = 64) {
    std::vector<Item> all;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::vector<Item> buffer(bufferItems);
      uint32_t read = 0;
      EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, bufferItems * sizeof(Item), &read, buffer.data()), 0u)
          << Qor_GetLastErrorDescription();
      all.insert(all.end(), buffer.begin(), buffer.begin() + read);
      if (read == 0) std::this_thread::sleep_for(2ms);
    }
    return all;
  }

  emulator::CanBus bus_;
  std::shared_ptr<emulator::CanMonitorFirmware> firmware_;
};

class WideCanMonitorRoad : public CanMonitorRoad {
 protected:
  WideCanMonitorRoad() : CanMonitorRoad({kWideModel, {{kCanFirmwareCode, 1}, {kCanFirmwareCode, 2}}}) {}
};

// ---------------------------------------------------------------- firmware of width 32: compact items

TEST_F(CanMonitorRoad, CompactItemsArriveAsApiItemsWithTheBusTime) {
  const uint32_t port = open();
  uint32_t width = 0;
  ASSERT_EQ(Qor_GetPropertyById(port, QOR_PROPERTY_PARAMETER_WIDTH, &width), 0u);
  ASSERT_EQ(width, 32u) << "the default model's firmware sends compact items";
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), 0u) << Qor_GetLastErrorDescription();
  const uint64_t first = transmit(0x123, {0xAA, 0xBB});
  const uint64_t second = transmit(0x1ABCDEF, pattern(8, 1), 0x01);
  const std::vector<Item> items = readItems(port, 2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].identifier, 0x123u);
  EXPECT_EQ(items[0].timeStampNs, first / kCompactUnitNs * kCompactUnitNs);
  EXPECT_EQ(items[0].dlc, 2);
  EXPECT_EQ(items[0].dlcCopy, 2);
  EXPECT_EQ(dataOf(items[0]), (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(items[0].flags, 0);
  EXPECT_EQ(items[1].identifier, 0x1ABCDEFu);
  EXPECT_EQ(items[1].timeStampNs, second / kCompactUnitNs * kCompactUnitNs);
  EXPECT_EQ(items[1].flags, 0x01);
  EXPECT_EQ(dataOf(items[1]), pattern(8, 1));
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 0u);
}

TEST_F(CanMonitorRoad, ABufferOfTenItemsAsksForTenCompactItemsAndKeepsTheirOrder) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), 0u);
  for (uint32_t id = 0; id < 10; ++id) transmit(id, {static_cast<uint8_t>(id)});
  // All ten in the ring first: a read takes the whole ring or nothing.
  behindMonitorData(port);
  std::vector<Item> items(11);
  uint32_t count = 0;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, 240, &count, items.data()), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(count, 10u);
  for (uint32_t id = 0; id < 10; ++id) {
    EXPECT_EQ(items[id].identifier, id);
    EXPECT_EQ(dataOf(items[id]), Bytes{static_cast<uint8_t>(id)});
  }
  // More items in the ring than the buffer takes: the core refuses the read and keeps them for a larger one.
  transmit(20, {});
  transmit(21, {});
  behindMonitorData(port);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, 24, &count, items.data()), QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(readItems(port, 2).size(), 2u);
}

TEST_F(CanMonitorRoad, DirectReadingFillsTheBufferAndMarksItsLastItem) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING, 16), 0u)
      << Qor_GetLastErrorDescription();
  for (uint32_t id = 1; id <= 5; ++id) transmit(id, {1, 2, 3});
  ASSERT_EQ(firmware_->storedItems(1, 0), 5u) << "the items wait in the firmware";
  Item items[3];
  uint32_t count = 0;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, 23, &count, items), kBufferUndersized);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), 0u);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(items[0].identifier, 1u);
  EXPECT_EQ(items[2].identifier, 3u);
  EXPECT_EQ(items[1].flags, 0);
  EXPECT_EQ(items[2].flags, QOR_CAN_MONITOR_BUFFER_FILLED) << "the rest of the answer was dropped";
  EXPECT_EQ(firmware_->storedItems(1, 0), 0u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(CanMonitorRoad, StartsAndReadsAreRefusedBeforeAnythingIsSent) {
  const uint32_t port = open();
  const uint32_t minimum = Qor_GetMinimumMonitorBufferSize(port);
  Item items[2];
  uint32_t count = 7;
  struct Case {
    const char* name;
    uint32_t result;
    uint32_t expected;
  };
  const Case cases[] = {
      {"read before any start", Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items),
       kMonitorNotStarted},
      {"buffer mode 8", Qor_Can_Monitor_BufferMode_Start(port, 8, 0), kUnknownMode},
      {"a buffer one byte short", Qor_Can_Monitor_BufferMode_Start(port, 0, minimum - 1),
       QOR_ERR_API_MONITOR_BUFFER_TOO_SMALL},
      {"start flag 0x40", Qor_Can_Monitor_BufferMode_Start2(port, 0x40, 10), kUnknownFlag},
      {"large items on width 32", Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS, 10),
       kInvalidParameter},
      {"CAN FD on width 32", Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_CAN_FD, 10), kInvalidParameter},
      {"async without asynchronous communication",
       Qor_Can_Monitor_BufferMode_Async_Start(port, 0, [](uint32_t, uint32_t, const Item*) {}), kAsyncNotEnabled},
      {"no slots given", Qor_Can_Monitor_BufferMode_GetItems_Large(port, &count, &count, nullptr), kInvalidParameter},
      {"filter mode 5", Qor_Can_Monitor_DefineFilter(port, 5, 0, 0), kUnknownMode},
      {"eight user event bytes", Qor_Can_Monitor_WriteUserEvent(port, 1, 8, pattern(8, 0).data()), kInvalidDataLength},
      {"a port handle beyond the table", Qor_Can_Monitor_BufferMode_Stop(QOR_MAX_PORTS + 3),
       QOR_ERR_API_INVALID_PORT_HANDLE},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, minimum - 1), QOR_ERR_API_MONITOR_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::string(Qor_GetLastErrorDescription()).find("minimum monitor buffer size = " + std::to_string(minimum)) !=
                std::string::npos,
            true)
      << Qor_GetLastErrorDescription();
  LargeItem slot;
  uint32_t flags = 9, slots = 1;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &slots, &slot), kMonitorNotStarted);
  EXPECT_EQ(flags, 0u);
  EXPECT_FALSE(device_->recorder().waitForCommand(kMonitorCommand, 0ms)) << "no start reached the firmware";
}

TEST_F(CanMonitorRoad, APortOfAnotherBusIsRefusedBeforeAnyCommand) {
  const uint32_t restBus = open(3);
  constexpr uint32_t kWrongInterface = 0x02020001;
  Item item;
  uint32_t count = 1, flag = 0;
  uint64_t time = 0, other = 0;
  uint8_t dlc = 0, data[8];
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Start2(restBus, 0, 4), kWrongInterface);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(restBus, sizeof item, &count, &item), kWrongInterface);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Async_Stop(restBus), kWrongInterface) << "its command 0x50 means other things";
  EXPECT_EQ(Qor_Can_Monitor_MonitorTime_Get(restBus, &flag, &time, &other), kWrongInterface);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem(restBus, 1, &time, &count, &flag, &dlc, data), kWrongInterface);
  EXPECT_FALSE(device_->recorder().waitForCommand(kMonitorCommand, 0ms));
}

TEST_F(CanMonitorRoad, TheReaderGoesWithTheMonitorHoweverItEnds) {
  const uint32_t port = open();
  Item items[4];
  uint32_t count = 0;
  // Closed by the application through the core.
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), 0u);
  ASSERT_EQ(Qor_CloseMonitor(port), 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), kMonitorNotStarted);
  // Forgotten by the library's init.
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING, 4), 0u);
  ASSERT_EQ(Qor_Can_Monitor_Init(), 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof items, &count, items), kMonitorNotStarted);
  // Ended with the port: the next port of the handle has no reader.
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING, 4), 0u);
  ASSERT_EQ(Qor_CloseInterface(port), 0u);
  const uint32_t again = open();
  ASSERT_EQ(again, port);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(again, sizeof items, &count, items), kMonitorNotStarted);
}

TEST_F(CanMonitorRoad, InstancesKeepTheirOwnReaders) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), 0u);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 2), 0u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING, 4), 0u);
  transmit(0x55, {5});
  EXPECT_EQ(readItems(port, 1).at(0).identifier, 0x55u) << "instance 2 reads from the firmware";
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 0), 0u);
  EXPECT_EQ(readItems(port, 1).at(0).identifier, 0x55u) << "instance 0 from its ring";
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 2), 0u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 1u) << "stopping instance 0 left instance 2 running";
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

// The callbacks of the asynchronous cases: one test at a time.
struct Delivered {
  std::mutex mutex;
  std::vector<Item> items;
  std::vector<uint32_t> blocks;

  static Delivered& instance() {
    static Delivered delivered;
    return delivered;
  }
  static void take(uint32_t, uint32_t count, const Item* items) {
    std::lock_guard lock(instance().mutex);
    instance().items.insert(instance().items.end(), items, items + count);
    instance().blocks.push_back(count);
  }
  std::vector<Item> waitFor(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex);
        if (items.size() >= count) return items;
      }
      std::this_thread::sleep_for(2ms);
    }
    std::lock_guard lock(mutex);
    return items;
  }
  size_t count() {
    std::lock_guard lock(mutex);
    return items.size();
  }
  void clear() {
    std::lock_guard lock(mutex);
    items.clear();
    blocks.clear();
  }
};

TEST_F(CanMonitorRoad, TheCallbackGetsApiItemsAndTheStopEndsTheFirmwaresMonitor) {
  const uint32_t port = open();
  Delivered::instance().clear();
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Async_Start(port, 0, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Async_Start(port, 3, Delivered::take), 0u) << Qor_GetLastErrorDescription();
  const auto configure = device_->recorder().waitForCommand(kMonitorCommand, 1s);
  ASSERT_TRUE(configure);
  EXPECT_EQ(Bytes(configure->parameters().begin(), configure->parameters().end()),
            (Bytes{8, 0, 0, 0, 3, 7, 0, 0, 0, 0, 0, 0}))
      << "width 32, the buffer mode as option bits, mode bits 7";
  const uint64_t sent = transmit(0x321, {9, 8, 7});
  const std::vector<Item> items = Delivered::instance().waitFor(1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].identifier, 0x321u);
  EXPECT_EQ(items[0].timeStampNs, sent / kCompactUnitNs * kCompactUnitNs);
  EXPECT_EQ(dataOf(items[0]), (Bytes{9, 8, 7}));
  // A buffer mode above 7 is refused before the running monitor is touched.
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Async_Start(port, 8, Delivered::take), kUnknownMode);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 1u);
  device_->recorder().clear();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Async_Stop(port), 0u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 0u);
  const auto stop = device_->recorder().waitForCommand(kMonitorCommand, 1s);
  ASSERT_TRUE(stop);
  EXPECT_EQ(Bytes(stop->parameters().begin(), stop->parameters().end()), (Bytes{7, 0, 0, 0}));
  transmit(0x322, {});
  EXPECT_EQ(firmware_->storedItems(1, 0), 0u);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Delivered::instance().count(), 1u) << "nothing after the stop";
}

TEST_F(CanMonitorRoad, MixedTimeUnitsInOneBlockEachCountForTheirOwnItem) {
  // Compact items of units 0 (10 us) and 1 (400 ns) in one block, as the firmware sends when it changes its unit.
  const uint32_t port = open();
  Delivered::instance().clear();
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Async_Start(port, 0, Delivered::take), 0u);
  const Bytes compact0 = emulator::words({1000, 0x10}, {0, 1, 0, 0, 0xA0, 0, 0, 0, 0, 0, 0, 0});
  const Bytes compact1 = emulator::words({1000, 0x11}, {0xFF, 1, 1, 0, 0xA1, 0, 0, 0, 0, 0, 0, 0});
  Bytes block = emulator::words({14, 2});
  block.insert(block.end(), compact0.begin(), compact0.end());
  block.insert(block.end(), compact1.begin(), compact1.end());
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kMonitorCommand, block);
  const std::vector<Item> items = Delivered::instance().waitFor(2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].timeStampNs, 10000000u);
  EXPECT_EQ(items[1].timeStampNs, 400000u);
  EXPECT_EQ(items[1].flags, 0x97) << "firmware flag bits 0, 1, 2, 4 and 7";
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Async_Stop(port), 0u);
}

TEST_F(CanMonitorRoad, ListModeKeepsTheLastFrameOfEachIdentifier) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_ListMode_Start(port), 0u);
  transmit(0x100, {1, 2});
  const uint64_t last = transmit(0x100, {3, 4, 5}, 0x02);
  transmit(0x200, {6});
  uint64_t time = 0;
  uint32_t count = 0, flags = 0;
  uint8_t dlc = 0;
  uint8_t data[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem(port, 0x100, &time, &count, &flags, &dlc, data), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(time, last / kCompactUnitNs * kCompactUnitNs);
  EXPECT_EQ(flags, 0x02u);
  EXPECT_EQ(dlc, 3);
  EXPECT_EQ(Bytes(data, data + 4), (Bytes{3, 4, 5, 0xEE})) << "as many bytes as the DLC";
  uint8_t untouched[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem(port, 0x300, &time, &count, &flags, &dlc, untouched), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Bytes(untouched, untouched + 8), Bytes(8, 0xEE)) << "a frame never seen copies no data";

  static std::atomic<uint32_t> seenIdentifier{0};
  static std::atomic<uint32_t> seenCount{0};
  static std::atomic<uint8_t> seenByte{0};
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async_AddCallback(
                port, [](uint32_t, uint32_t identifier, uint64_t, uint32_t itemCount, uint32_t, uint8_t,
                         const uint8_t* itemData) {
                  seenByte = itemData[0];
                  seenCount = itemCount;
                  seenIdentifier = identifier;
                }),
            0u);
  ASSERT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async(port, 0x200), 0u);
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (seenIdentifier == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(seenIdentifier, 0x200u);
  EXPECT_EQ(seenCount, 1u);
  EXPECT_EQ(seenByte, 6);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_GetItem_Async_RemoveCallback(port), 0u);
  EXPECT_EQ(Qor_Can_Monitor_ListMode_Stop(port), 0u);
}

TEST_F(CanMonitorRoad, MonitorTimeUserEventsAndTheArrivalEvent) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start(port, 0, 0), 0u);
  uint32_t flag = 0;
  uint64_t first = 0, second = 0;
  ASSERT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(first % kCompactUnitNs, 0u);
  EXPECT_LE(first, second);
  EXPECT_LT(second, bus_.now() + kCompactUnitNs);
  device_->recorder().clear();
  const uint8_t eventData[3] = {0xD1, 0xD2, 0xD3};
  ASSERT_EQ(Qor_Can_Monitor_WriteUserEvent(port, 0x42, 3, eventData), 0u);
  const auto event = device_->recorder().waitForCommand(kMonitorCommand, 1s);
  ASSERT_TRUE(event);
  EXPECT_EQ(Bytes(event->parameters().begin(), event->parameters().end()),
            (Bytes{6, 0, 0, 0, 0x42, 0, 3, 0, 0xD1, 0xD2, 0xD3, 0, 0, 0, 0}));
  // Items wake the application's event.
  ExternalEvent arrived;
  ASSERT_EQ(Qor_Events_AllocateEvent(port, 0, &arrived), 0u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_EnableEvent(port, &arrived), 0u);
  transmit(0x99, {});
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(port, &arrived, 3000), 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_DisableEvent(port), 0u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
  EXPECT_EQ(Qor_Events_DeallocateEvent(port, &arrived), 0u);
}

// ---------------------------------------------------------------- firmware of width 64: API and large items

TEST_F(WideCanMonitorRoad, ApiItemsComeAsTheFirmwareStampedThem) {
  const uint32_t port = open();
  uint32_t width = 0;
  ASSERT_EQ(Qor_GetPropertyById(port, QOR_PROPERTY_PARAMETER_WIDTH, &width), 0u);
  ASSERT_EQ(width, 64u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, 0, 100), 0u) << Qor_GetLastErrorDescription();
  const uint64_t sent = transmit(0x7FF, pattern(8, 0x10), 0x01);
  const std::vector<Item> items = readItems(port, 1);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].timeStampNs, sent);
  EXPECT_EQ(items[0].identifier, 0x7FFu);
  EXPECT_EQ(items[0].flags, 0x01);
  EXPECT_EQ(dataOf(items[0]), pattern(8, 0x10));
  uint32_t flag = 0;
  uint64_t first = 0, second = 0;
  ASSERT_EQ(Qor_Can_Monitor_MonitorTime_Get(port, &flag, &first, &second), 0u);
  EXPECT_EQ(flag, 1u);
  EXPECT_LE(first, sent);
  EXPECT_GE(second, sent);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(WideCanMonitorRoad, AFullLargeItemRingDropsNewItemsAndMarksTheNewestStored) {
  const uint32_t port = open();
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS, 0), kInvalidParameter)
      << "a ring without slots";
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS | QOR_CAN_MONITOR_CAN_FD, 4), 0u)
      << Qor_GetLastErrorDescription();
  const auto configure = device_->recorder().waitForCommand(kMonitorCommand, 1s);
  ASSERT_TRUE(configure);
  EXPECT_EQ(Bytes(configure->parameters().begin(), configure->parameters().end()),
            (Bytes{9, 0, 0, 0, 0x08, 6 + 1 + 8, 0, 0, 0, 0, 0, 0}))
      << "CAN FD option, host-buffered large items";
  const size_t lengths[] = {64, 12, 0, 8, 20, 64};
  std::vector<uint64_t> times;
  for (size_t index = 0; index < std::size(lengths); ++index) {
    times.push_back(transmit(0x100 + static_cast<uint32_t>(index), pattern(lengths[index], static_cast<uint8_t>(index))));
  }
  behindMonitorData(port);
  LargeItem slots[6] = {};
  uint32_t flags = 9, count = 2;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(flags, QOR_CAN_MONITOR_MORE_ITEMS);
  count = 6;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots + 2), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(flags, 0u);
  for (size_t index = 0; index < 4; ++index) {
    EXPECT_EQ(slots[index].identifier, 0x100 + index);
    EXPECT_EQ(slots[index].timeStampNs, times[index]);
    EXPECT_EQ(slots[index].dataLength, lengths[index]);
    EXPECT_EQ(slots[index].dlc, dlcOf(lengths[index]));
    EXPECT_EQ(Bytes(slots[index].data, slots[index].data + lengths[index]),
              pattern(lengths[index], static_cast<uint8_t>(index)));
    EXPECT_EQ(slots[index].flags, index == 3 ? QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED : 0u) << index;
  }
  uint32_t items = 1;
  Item item;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof item, &items, &item), kMonitorNotStarted)
      << "the ring of large items has no reader of API items";
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(WideCanMonitorRoad, DirectReadingOfLargeItemsTakesNoMoreThanTheBufferHolds) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS | QOR_CAN_MONITOR_DIRECT_READING, 8),
            0u);
  for (uint32_t index = 0; index < 3; ++index) transmit(index, pattern(48, static_cast<uint8_t>(index)));
  ASSERT_EQ(firmware_->storedItems(1, 0), 3u);
  // Room for ten items by the count, for one by the size: one comes, marked as the last before a drop.
  std::vector<LargeItem> slots(10);
  uint32_t count = 10;
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, 79, &count, slots.data()), kBufferUndersized);
  count = 10;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems(port, sizeof(LargeItem), &count, slots.data()), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(slots[0].dataLength, 48);
  EXPECT_EQ(slots[0].flags, QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED);
  EXPECT_EQ(slots[1].dataLength, 0) << "nothing beyond the size";
  for (uint32_t index = 0; index < 2; ++index) transmit(10 + index, pattern(12, 0));
  uint32_t flags = 5;
  count = 10;
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_GetItems_Large(port, &flags, &count, slots.data()), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(slots[1].identifier, 11u);
  EXPECT_EQ(slots[1].flags, 0);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);
}

TEST_F(WideCanMonitorRoad, DirectApiItemsAndTheCallbackOnWidth64) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_DIRECT_READING, 8), 0u);
  const uint64_t sent = transmit(0x42, {1});
  const std::vector<Item> direct = readItems(port, 1);
  ASSERT_EQ(direct.size(), 1u);
  EXPECT_EQ(direct[0].timeStampNs, sent);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Stop(port), 0u);

  Delivered::instance().clear();
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Can_Monitor_BufferMode_Async_Start(port, 1, Delivered::take), 0u);
  const uint64_t first = transmit(0x43, {2, 3});
  transmit(0x44, {});
  const std::vector<Item> items = Delivered::instance().waitFor(2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].timeStampNs, first);
  EXPECT_EQ(items[0].identifier, 0x43u);
  EXPECT_EQ(items[1].identifier, 0x44u);
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Async_Stop(port), 0u);
}

TEST_F(WideCanMonitorRoad, ItemCountsThatDoNotFitABufferAreRefused) {
  const uint32_t port = open();
  EXPECT_EQ(Qor_Can_Monitor_BufferMode_Start2(port, QOR_CAN_MONITOR_LARGE_ITEMS, 0x7FFFFFFF), kInvalidParameter);
  EXPECT_FALSE(device_->recorder().waitForCommand(kMonitorCommand, 0ms));
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 0u);
}

}  // namespace
}  // namespace qor::test
