// The LIN monitor end to end: frames that the other node of an emulated LIN bus sends reach this port's monitor in
// the emulated firmware, which streams them as items through the daemon to the library; the items are checked
// against the times at which the bus carried the frames.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_async.h"
#include "qor_emulator/frame.hpp"
#include "qor_emulator/lin_bus.hpp"
#include "qor_emulator/lin_monitor_firmware.hpp"
#include "qor_lin_monitor.h"
#include "qor_monitor.h"

#include "lin_road.hpp"
namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::LinFrame;
using emulator::LinTiming;
using emulator::words;

constexpr uint8_t kMonitorParameters = 0x50;
constexpr uint8_t kListSwitch = 0x54;
constexpr uint32_t kBufferUndersized = 0x02050006;
constexpr uint32_t kAsyncNotEnabled = 0x0205000D;
constexpr uint32_t kMinimumMonitorBuffer = 8168;  // of the emulated model's size group
constexpr uint32_t kLargeBuffer = 64 * 1024;
constexpr auto kArrivalTimeout = std::chrono::seconds(3);

// Waits (bounded) until done() holds.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kArrivalTimeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

uint64_t timeStampOf(const LinTiming& timing) { return timing.startNs / 400 * 400; }
uint32_t nsOf(uint32_t ns) { return ns / 25 * 25; }

Bytes configureRecord(uint8_t bufferMode, uint8_t firmwareKind) {
  return words({8}, {bufferMode, 7, 0, 0, 0, 0, 0, 0, firmwareKind, 0, 0, 0});
}

class LinMonitor : public InterfaceFixture {
 protected:
  LinMonitor() : InterfaceFixture(linAndKLineController()) {}
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = emulator::LinMonitorFirmware::attachTo(*device_, bus_, {1, 2});
    port_ = open(1);
    device_->recorder().clear();
  }
  // From the other node of the bus.
  LinTiming send(const LinFrame& frame) { return bus_.transmit(*device_, 2, frame); }
  // The parameters of the requests of a command, in order.
  std::vector<Bytes> requestsOf(uint8_t command) {
    std::vector<Bytes> found;
    for (const emulator::ReceivedFrame& frame : device_->recorder().frames()) {
      if (frame.command() == command) found.emplace_back(frame.parameters().begin(), frame.parameters().end());
    }
    return found;
  }
  // Reads until count items came (or the time is up).
  template <class Item, class Read>
  std::vector<Item> readItems(size_t count, Read read) {
    std::vector<Item> items;
    eventually([&] {
      std::vector<Item> buffer(16);
      uint32_t got = 0;
      EXPECT_EQ(read(port_, static_cast<uint32_t>(buffer.size() * sizeof(Item)), &got, buffer.data()), 0u)
          << Qor_GetLastErrorDescription();
      items.insert(items.end(), buffer.begin(), buffer.begin() + got);
      return items.size() >= count;
    });
    return items;
  }

  emulator::LinBus bus_;
  std::shared_ptr<emulator::LinMonitorFirmware> firmware_;
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(LinMonitor, SmallItemsArriveAsTheBusCarriedTheFrames) {
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 3, kLargeBuffer), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(requestsOf(kMonitorParameters), (std::vector<Bytes>{configureRecord(3, 1), words({12})}));
  const LinTiming first = send({0x21, {0xAA, 0xBB}, 0x40});
  const LinTiming second = send({0x3F, {1, 2, 3, 4, 5, 6, 7, 8}});
  const LinTiming third = send({0x00, {}});
  const auto items = readItems<Qor_Lin_Monitor_SmallItem_t>(3, Qor_Lin_Monitor_BufferMode_Small_GetItems);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].frameId, 0x21u);
  EXPECT_EQ(items[0].dataLength, 2);
  EXPECT_EQ(items[0].state, 0x40);
  EXPECT_EQ(items[0].data[0], 0xAA);
  EXPECT_EQ(items[0].data[1], 0xBB);
  EXPECT_EQ(items[0].timeStamp, timeStampOf(first));
  EXPECT_EQ(items[0].time1, nsOf(first.breakNs));
  EXPECT_EQ(items[1].frameId, 0x3Fu);
  EXPECT_EQ(items[1].dataLength, 8);
  EXPECT_EQ(items[1].data[7], 8);
  EXPECT_EQ(items[1].timeStamp, timeStampOf(second));
  EXPECT_EQ(items[2].dataLength, 0);
  EXPECT_EQ(items[2].timeStamp, timeStampOf(third));
  EXPECT_LT(items[0].timeStamp, items[2].timeStamp);

  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Stop(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_FALSE(firmware_->bufferRunning(1)) << "the core's stop reached the firmware";
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
}

TEST_F(LinMonitor, NormalAndAdvancedItemsCarryTheByteTimes) {
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Normal_Start(port_, 0, kLargeBuffer), 0u) << Qor_GetLastErrorDescription();
  const LinTiming timing = send({0x10, {0x01, 0x02}});
  const auto normal = readItems<Qor_Lin_Monitor_NormalItem_t>(1, Qor_Lin_Monitor_BufferMode_Normal_GetItems);
  ASSERT_EQ(normal.size(), 1u);
  EXPECT_EQ(normal[0].head.timeStamp, timeStampOf(timing));
  EXPECT_EQ(normal[0].time2to4[0], nsOf(timing.syncNs));
  EXPECT_EQ(normal[0].time2to4[2], nsOf(timing.responseNs()));
  EXPECT_EQ(normal[0].byteTimesA[0], nsOf(timing.byteEndNs[0]));
  EXPECT_EQ(normal[0].byteTimesA[1], nsOf(timing.byteEndNs[1]));
  EXPECT_EQ(normal[0].byteTimesA[2], 0u) << "not written: the vector's zero";
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Normal_Stop(port_), 0u);

  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Advanced_Start(port_, 7, kLargeBuffer), 0u) << Qor_GetLastErrorDescription();
  const LinTiming eight = send({0x11, {1, 2, 3, 4, 5, 6, 7, 8}});
  const auto advanced = readItems<Qor_Lin_Monitor_AdvancedItem_t>(1, Qor_Lin_Monitor_BufferMode_Advanced_GetItems);
  ASSERT_EQ(advanced.size(), 1u);
  const Qor_Lin_Monitor_AdvancedItem_t& item = advanced[0];
  EXPECT_EQ(item.normal.head.frameId, 0x11u);
  EXPECT_EQ(item.normal.byteTimesA[7], nsOf(eight.byteEndNs[7]));
  EXPECT_EQ(item.byteTimesB[7], nsOf(eight.byteEndNs[7] - eight.byteNs));
  EXPECT_EQ(item.byteTimesC[0], nsOf(eight.byteNs));
  EXPECT_EQ(item.byteTimesC[8], 0u) << "the checksum's time is not one of the data's";
  const std::vector<Bytes> parameters = requestsOf(kMonitorParameters);
  ASSERT_EQ(parameters.size(), 4u);
  EXPECT_EQ(parameters[0], configureRecord(0, 0)) << "normal";
  EXPECT_EQ(parameters[2], configureRecord(7, 2)) << "advanced";
}

TEST_F(LinMonitor, StartRefusalsLeaveNoMonitorOpen) {
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 0, 27), kBufferUndersized);
  const uint32_t smallMinimum = (kMinimumMonitorBuffer + 19) / 20 * 28;
  EXPECT_TRUE(lastTextHas("minimum buffer size = '" + std::to_string(smallMinimum) + "' bytes"))
      << Qor_GetLastErrorDescription();
  const uint32_t advancedMinimum = (kMinimumMonitorBuffer + 139) / 140 * 148;
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Advanced_Start(port_, 0, advancedMinimum - 1), kBufferUndersized);
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 8, kLargeBuffer), kUnknownMode);
  EXPECT_TRUE(lastTextHas("buffer mode '0x8' is unknown")) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);

  device_->expect(kMonitorParameters, configureRecord(1, 1)).fail(0x1F, "busy");
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 1, smallMinimum), 0x1Fu);
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u) << "closed after the firmware refused";

  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Async_Start(port_, 0, [](uint32_t, uint32_t, const void*) {}),
            kAsyncNotEnabled);
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
}

TEST_F(LinMonitor, ReadingWithNothingCollectedAndWithATooSmallBuffer) {
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 0, kLargeBuffer), 0u) << Qor_GetLastErrorDescription();
  Qor_Lin_Monitor_SmallItem_t items[2];
  uint32_t count = 9;
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, sizeof items, &count, items), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, sizeof items[0] - 1, &count, items), kBufferUndersized)
      << "room for no item";
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, sizeof items, nullptr, items), kInvalidParameter);

  // Three items, room for two a read: none is lost or comes twice.
  send({1, {}});
  send({2, {}});
  send({3, {}});
  std::vector<uint32_t> ids;
  ASSERT_TRUE(eventually([&] {
    EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, sizeof items, &count, items), 0u);
    EXPECT_LE(count, 2u);
    for (uint32_t i = 0; i < count && i < 2; ++i) ids.push_back(items[i].frameId);
    return ids.size() >= 3;
  }));
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3}));

  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Stop(port_), 0u);
  EXPECT_NE(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, sizeof items, &count, items), 0u) << "no monitor";
}

TEST_F(LinMonitor, LostItemsMarkTheLastItemOfARead) {
  const uint32_t smallMinimum = (kMinimumMonitorBuffer + 19) / 20 * 28;
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 0, smallMinimum), 0u) << Qor_GetLastErrorDescription();
  const uint32_t ringItems = smallMinimum / 28;
  // Monitor frames of 20 items: the ring takes whole frames while they fit and drops the others.
  constexpr uint32_t kItemsPerFrame = 20;
  const uint32_t sent = (ringItems / kItemsPerFrame + 2) * kItemsPerFrame;
  firmware_->setItemsPerFrame(1, kItemsPerFrame);
  for (uint32_t i = 0; i < sent; ++i) send({static_cast<uint8_t>(i % 64), {}});
  ASSERT_EQ(firmware_->itemsSent(1), sent);
  // A command's answer comes behind the monitor frames on the same road: then the ring has them all.
  ASSERT_EQ(Qor_Lin_Monitor_DefineFilter(port_, 0, 0, 0), 0u) << Qor_GetLastErrorDescription();
  std::vector<Qor_Lin_Monitor_SmallItem_t> items(sent);
  uint32_t count = 0;
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, static_cast<uint32_t>(items.size() * 28), &count,
                                                      items.data()),
            0u)
      << Qor_GetLastErrorDescription();
  ASSERT_GT(count, 1u);
  EXPECT_LE(count, ringItems);
  EXPECT_EQ(items[count - 1].frameId & QOR_LIN_MONITOR_OVERFLOW_MARK, QOR_LIN_MONITOR_OVERFLOW_MARK);
  EXPECT_EQ(items[count - 1].frameId & 0x3F, (count - 1) % 64) << "the id stays in the low bits";
  EXPECT_EQ(items[count - 2].frameId & QOR_LIN_MONITOR_OVERFLOW_MARK, 0u) << "only the last";

  // Nothing left: nothing is marked, in the array or before it.
  struct Guarded {
    uint32_t before = 0xA5A5A5A5;
    Qor_Lin_Monitor_SmallItem_t item{};
  } guarded;
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_GetItems(port_, 28, &count, &guarded.item), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(guarded.before, 0xA5A5A5A5u);
  EXPECT_EQ(guarded.item.frameId, 0u);
}

struct Collected {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  size_t calls = 0;
};
Collected gCollected;

void collect(uint32_t, uint32_t count, const void* items, size_t itemSize) {
  std::lock_guard lock(gCollected.mutex);
  const auto* bytes = static_cast<const uint8_t*>(items);
  gCollected.bytes.insert(gCollected.bytes.end(), bytes, bytes + count * itemSize);
  ++gCollected.calls;
}

class LinMonitorAsync : public LinMonitor {
 protected:
  void SetUp() override {
    LinMonitor::SetUp();
    ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, nullptr), 0u) << Qor_GetLastErrorDescription();
    std::lock_guard lock(gCollected.mutex);
    gCollected.bytes.clear();
    gCollected.calls = 0;
  }
  template <class Item>
  std::vector<Item> collected(size_t count) {
    std::vector<Item> items;
    eventually([&] {
      std::lock_guard lock(gCollected.mutex);
      return gCollected.bytes.size() >= count * sizeof(Item);
    });
    std::lock_guard lock(gCollected.mutex);
    items.resize(gCollected.bytes.size() / sizeof(Item));
    std::memcpy(items.data(), gCollected.bytes.data(), items.size() * sizeof(Item));
    return items;
  }
};

TEST_F(LinMonitorAsync, ItemsReachTheCallbackAndStopEndsThem) {
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Normal_Async_Start(
                port_, 2, [](uint32_t port, uint32_t count, const void* items) {
                  collect(port, count, items, sizeof(Qor_Lin_Monitor_NormalItem_t));
                }),
            0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(requestsOf(kMonitorParameters), (std::vector<Bytes>{configureRecord(2, 0), words({12})}));
  const LinTiming timing = send({0x2A, {9, 8, 7}});
  send({0x2B, {}});
  const auto items = collected<Qor_Lin_Monitor_NormalItem_t>(2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].head.frameId, 0x2Au);
  EXPECT_EQ(items[0].head.data[2], 7);
  EXPECT_EQ(items[0].head.timeStamp, timeStampOf(timing));
  EXPECT_EQ(items[0].byteTimesA[2], nsOf(timing.byteEndNs[2]));
  EXPECT_EQ(items[1].head.frameId, 0x2Bu);

  device_->recorder().clear();
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_Small_Async_Stop(port_), 0u) << "any kind's stop" << Qor_GetLastErrorDescription();
  // With the asynchronous communication a command without response returns before the device has it.
  ASSERT_TRUE(device_->recorder().waitForCommand(kListSwitch, kArrivalTimeout, 1));
  EXPECT_EQ(requestsOf(kListSwitch), (std::vector<Bytes>{words({0}), words({0})})) << "the list switch, then the core's stop";
  EXPECT_EQ(Qor_IsMonitorEnabled(port_), 0u);
  send({0x2C, {}});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(collected<Qor_Lin_Monitor_NormalItem_t>(2).size(), 2u) << "nothing after the stop";
}

TEST_F(LinMonitorAsync, ItemsCutAcrossMonitorFramesArriveWhole) {
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Async_Start(
                port_, 0, [](uint32_t port, uint32_t count, const void* items) {
                  collect(port, count, items, sizeof(Qor_Lin_Monitor_SmallItem_t));
                }),
            0u)
      << Qor_GetLastErrorDescription();
  // Two firmware items (20 bytes each), the first with a length of 200, cut at 7 and at 33.
  Bytes stream{0x05, 200, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0};
  emulator::appendLittleEndian(stream, 1000, 4);
  emulator::appendLittleEndian(stream, 1000, 4);
  stream.insert(stream.end(), {0x06, 1, 0x02, 0x99, 0, 0, 0, 0, 0, 0, 0, 0});
  emulator::appendLittleEndian(stream, 2000, 4);
  emulator::appendLittleEndian(stream, 0xFFFFFFFF, 4);
  for (auto [from, to] : {std::pair<size_t, size_t>{0, 7}, {7, 33}, {33, 40}}) {
    sendUnsolicited(port_, QOR_FRAME_RESPONSE, emulator::kLinMonitorData,
                    words({0}, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(from),
                                     stream.begin() + static_cast<std::ptrdiff_t>(to))));
  }
  const auto items = collected<Qor_Lin_Monitor_SmallItem_t>(2);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].frameId, 5u);
  EXPECT_EQ(items[0].dataLength, 8) << "200 taken as 8";
  EXPECT_EQ(items[0].data[7], 8);
  EXPECT_EQ(items[0].timeStamp, 400'000u);
  EXPECT_EQ(items[0].time1, 25'000u);
  EXPECT_EQ(items[1].frameId, 6u);
  EXPECT_EQ(items[1].data[0], 0x99);
  EXPECT_EQ(items[1].timeStamp, 800'000u);
  EXPECT_EQ(items[1].time1, 0xFFFFFFFFu) << "saturated";
  std::lock_guard lock(gCollected.mutex);
  EXPECT_EQ(gCollected.calls, 3u) << "one call per monitor frame, the first without an item";
}

TEST_F(LinMonitorAsync, AStartAfterThePortWasOpenedAgainHasOnlyItsOwnCallback) {
  std::atomic<int> oldCalls{0};
  static std::atomic<int>* gOld = nullptr;
  gOld = &oldCalls;
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Async_Start(port_, 0, [](uint32_t, uint32_t, const void*) { ++*gOld; }),
            0u);
  ASSERT_EQ(Qor_CloseInterface(port_), 0u) << Qor_GetLastErrorDescription();
  port_ = open(1);
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, nullptr), 0u);
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Async_Start(
                port_, 0, [](uint32_t port, uint32_t count, const void* items) {
                  collect(port, count, items, sizeof(Qor_Lin_Monitor_SmallItem_t));
                }),
            0u)
      << Qor_GetLastErrorDescription();
  send({0x07, {1}});
  ASSERT_EQ(collected<Qor_Lin_Monitor_SmallItem_t>(1).size(), 1u);
  EXPECT_EQ(oldCalls.load(), 0);
}

TEST_F(LinMonitor, ListModeKeepsTheLatestItemOfEachFrameId) {
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Small_Start(port_), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Normal_Start(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(requestsOf(kListSwitch), (std::vector<Bytes>{words({0x01000002}), words({2})}));
  send({0x05, {1}});
  const LinTiming latest = send({0x05, {0xC1, 0xC2}, 0x33});
  Qor_Lin_Monitor_ListSmallItem_t small{};
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem(port_, 0x05, &small), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(small.entryPresent, 1u);
  EXPECT_EQ(small.frameId, 0x05);
  EXPECT_EQ(small.value8, 0x33u);
  EXPECT_EQ(small.value10, 2) << "heard twice";
  EXPECT_EQ(small.dataLength, 2);
  EXPECT_EQ(small.data[1], 0xC2);
  EXPECT_EQ(small.timeStamp, timeStampOf(latest));
  EXPECT_EQ(small.time1, nsOf(latest.breakNs));

  Qor_Lin_Monitor_ListNormalItem_t normal{};
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Normal_GetItem(port_, 0x05, &normal), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(normal.byteTimes[1], nsOf(latest.byteEndNs[1]));
  EXPECT_EQ(normal.time2to4[1], nsOf(latest.identifierNs));

  memset(&small, 0xEE, sizeof small);
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem(port_, 0x06, &small), 0u) << Qor_GetLastErrorDescription();
  Qor_Lin_Monitor_ListSmallItem_t absent{};
  absent.frameId = 0x06;
  EXPECT_EQ(memcmp(&small, &absent, sizeof small), 0) << "an id not heard";

  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Small_Stop(port_), 0u);
  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Normal_Stop(port_), 0u);
  EXPECT_EQ(requestsOf(kListSwitch).back(), words({0}));
  EXPECT_EQ(requestsOf(kListSwitch)[2], words({0x01000000}));
}

struct ListCalls {
  std::mutex mutex;
  std::vector<Qor_Lin_Monitor_ListNormalItem_t> normal;
  std::vector<uint32_t> errors;
};
ListCalls gListCalls;

TEST_F(LinMonitor, ListItemsThroughTheCallback) {
  // Before the asynchronous communication, which makes the list switch return before the firmware has it.
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Normal_Start(port_), 0u);
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_,
                                          [](uint32_t, uint32_t code, const char*, uint32_t) {
                                            std::lock_guard lock(gListCalls.mutex);
                                            gListCalls.errors.push_back(code);
                                          }),
            0u);
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_AddCallback(port_,
                                                                      [](uint32_t, const void* item) {
                                                                        std::lock_guard lock(gListCalls.mutex);
                                                                        gListCalls.normal.push_back(
                                                                            *static_cast<const Qor_Lin_Monitor_ListNormalItem_t*>(item));
                                                                      }),
            0u)
      << Qor_GetLastErrorDescription();
  send({0x09, {0x44}});
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Normal_GetItem_Async(port_, 0x09), 0u) << Qor_GetLastErrorDescription();
  ASSERT_TRUE(eventually([] {
    std::lock_guard lock(gListCalls.mutex);
    return !gListCalls.normal.empty();
  }));
  {
    std::lock_guard lock(gListCalls.mutex);
    EXPECT_EQ(gListCalls.normal[0].head.frameId, 0x09);
    EXPECT_EQ(gListCalls.normal[0].head.data[0], 0x44);
  }
  EXPECT_EQ(requestsOf(0xF3).back(), (Bytes{0x09, 0, 0, 0}));
  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_RemoveCallback(port_), 0u);
  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem_Async_AddCallback(port_, nullptr), kInvalidParameter);
}

TEST_F(LinMonitor, ShortListAnswersAreRefused) {
  device_->expect(0xF3, {0x09, 0, 0, 0}).answer(Bytes(75, 0));
  device_->expect(0xF4, {0x09, 0, 0, 0}).answer(Bytes(27, 0));
  device_->expect(0xF4, {0x0A, 0, 0, 0}).answer(Bytes(27, 0));
  Qor_Lin_Monitor_ListNormalItem_t normal{};
  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Normal_GetItem(port_, 0x09, &normal), kInvalidResponseLength);
  EXPECT_TRUE(lastTextHas("firmware response is too small")) << Qor_GetLastErrorDescription();
  Qor_Lin_Monitor_ListSmallItem_t small{};
  EXPECT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem(port_, 0x09, &small), kInvalidResponseLength);

  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_,
                                          [](uint32_t, uint32_t code, const char*, uint32_t) {
                                            std::lock_guard lock(gListCalls.mutex);
                                            gListCalls.errors.push_back(code);
                                          }),
            0u);
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem_Async_AddCallback(port_, [](uint32_t, const void*) {
              ADD_FAILURE() << "a short answer reached the application";
            }),
            0u);
  {
    std::lock_guard lock(gListCalls.mutex);
    gListCalls.errors.clear();
  }
  ASSERT_EQ(Qor_Lin_Monitor_ListMode_Small_GetItem_Async(port_, 0x0A), 0u);
  ASSERT_TRUE(eventually([] {
    std::lock_guard lock(gListCalls.mutex);
    return !gListCalls.errors.empty();
  }));
  std::lock_guard lock(gListCalls.mutex);
  EXPECT_EQ(gListCalls.errors[0], kInvalidResponseLength);
}

TEST_F(LinMonitor, FilterAndEvent) {
  ASSERT_EQ(Qor_Lin_Monitor_DefineFilter(port_, 5, 0x12, 0x34), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(requestsOf(kMonitorParameters).back(), words({5}, {5, 0, 0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Qor_Lin_Monitor_DefineFilter(port_, 6, 0, 0), kUnknownMode);
  EXPECT_TRUE(lastTextHas("filter mode '0x6' is unknown")) << Qor_GetLastErrorDescription();

  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_Small_Start(port_, 0, kLargeBuffer), 0u) << Qor_GetLastErrorDescription();
  ExternalEvent event;
  ASSERT_EQ(Qor_Events_AllocateEvent(port_, 0, &event), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_EnableEvent(port_, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Lin_Monitor_BufferMode_EnableEvent(port_, &event), 0u) << Qor_GetLastErrorDescription();
  send({0x01, {}});
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(port_, &event, 3000), 0u) << "an item came";
  EXPECT_EQ(Qor_Lin_Monitor_BufferMode_DisableEvent(port_), 0u);
  Qor_Lin_Monitor_BufferMode_Small_Stop(port_);
  Qor_Events_DeallocateEvent(port_, &event);
}

}  // namespace
}  // namespace qor::test
