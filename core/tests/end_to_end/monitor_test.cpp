// Monitors end to end: bus traffic taken out of the answer stream into rings and callbacks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_helpers.h"
#include "qor_test/child_process.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kCanMonitor = 0xF1;
constexpr uint8_t kCanMonitorControl = 0x50;

class Monitors : public InterfaceFixture {
protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    // The CAN monitor's stop command is answered with its sub-function.
    device_->onCommand(kCanMonitorControl, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}, 1); });
  }

  // Waits until the port's instance holds at least count bytes.
  static Bytes readAtLeast(uint32_t port, uint8_t instance, size_t count, uint8_t& lost) {
    Bytes all;
    lost = 0;
    const double start = GetTickCount();
    while (all.size() < count && GetTickCount() - start < 3000) {
      uint8_t buffer[16384];
      uint32_t size = sizeof buffer;
      uint8_t lostNow = 0;
      EXPECT_EQ(Qor_Monitor_Read(port, instance, buffer, &size, &lostNow), 0u);
      lost |= lostNow;
      all.insert(all.end(), buffer, buffer + size);
      if (size == 0) std::this_thread::sleep_for(5ms);
    }
    return all;
  }
};

TEST_F(Monitors, CanTrafficFillsTheRingAndLeavesTheAnswersAlone) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Monitor_GetLockState(port), 1u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 1u);
  // Monitor items start at frame byte 16: four bytes of the frame's data go before them.
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0, 0, 0, 1, 2, 3, 4});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0, 0, 0, 5, 6});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0});  // too short to carry items: not taken
  uint8_t lost = 1;
  EXPECT_EQ(readAtLeast(port, 0, 6, lost), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(lost, 0);
  // Commands still get their answers while the filter runs.
  device_->onCommand(0x42, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{9}); });
  uint8_t response[4];
  uint32_t size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, 0x42, nullptr, 0, response, &size), 0u);
  // The close stops the device's monitor for this instance, then gives the monitor lock back.
  device_->recorder().clear();
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
  auto stop = device_->recorder().waitForCommand(kCanMonitorControl, 1s);
  ASSERT_TRUE(stop);
  EXPECT_EQ(Bytes(stop->parameters().begin(), stop->parameters().end()), (Bytes{7, 0, 0, 0}));
  EXPECT_EQ(Qor_Monitor_GetLockState(port), 0u);
  EXPECT_EQ(Qor_IsMonitorEnabled(port), 0u);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u); // not started: nothing to do
}

TEST_F(Monitors, InstancesByTheirByteAndCallbacks) {
  const uint32_t port = open();
  static std::atomic<int> calls{0};
  static Bytes lastBlock;
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 4), QOR_ERR_API_INVALID_PARAMETER);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 2), 0u);
  void* context = nullptr;
  ASSERT_EQ(Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE,
                             [](uint32_t, void*, const uint8_t* data, uint32_t length) {
                               lastBlock.assign(data, data + length);
                               ++calls;
                             },
                             nullptr, 16, &context),
            0u);
  EXPECT_EQ(Qor_Monitor_GetCallbackContext(port), context);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 1), 0u);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u);
  // Sub-function 15 names the instance in data byte 1; its items start at frame byte 16.
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitorControl, Bytes{15, 2, 0, 0, 0xA1, 0xA2});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitorControl, Bytes{15, 1, 0, 0, 0xB1});
  // Sub-function 14: items from frame byte 20.
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitorControl, Bytes{14, 1, 0, 0, 0, 0, 0, 0, 0xB2});
  // An instance that is not started, or out of range, takes nothing.
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitorControl, Bytes{15, 3, 0, 0, 0xC1});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitorControl, Bytes{15, 200, 0, 0, 0xC2});
  uint8_t lost = 0;
  EXPECT_EQ(readAtLeast(port, 1, 2, lost), (Bytes{0xB1, 0xB2}));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lastBlock, (Bytes{0xA1, 0xA2}));
  EXPECT_EQ(Qor_Monitor_Close(port, 2), 0u);
  EXPECT_EQ(Qor_Monitor_GetLockState(port), 1u); // instance 1 still runs
  EXPECT_EQ(Qor_Monitor_Close(port, 1), 0u);
  EXPECT_EQ(Qor_Monitor_GetLockState(port), 0u);
}

TEST_F(Monitors, TheCleanUpRunsInEveryModeWhenTheInstanceGoes) {
  // A library keeps state per instance (a reader, a ring): it forgets it in the clean-up, whoever closes.
  static std::atomic<int> cleanUps{0};
  static void* lastContext = nullptr;
  cleanUps = 0;
  const Qor_Monitor_Cleanup_t cleanUp = [](uint32_t, void* context) {
    lastContext = context;
    ++cleanUps;
  };
  const uint32_t port = open();
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, cleanUp, 0, nullptr), 0u);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
  EXPECT_EQ(cleanUps, 1);
  EXPECT_EQ(lastContext, nullptr) << "a ring has no context";
  ASSERT_EQ(Qor_Monitor_Init(port, QOR_MONITOR_NO_BUS_FILTER, nullptr, cleanUp, 0, nullptr), 0u);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u) << "a new start frees the old instance";
  EXPECT_EQ(cleanUps, 2);
  ASSERT_EQ(Qor_Monitor_InstanceId_Set(port, 3), 0u);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, cleanUp, 0, nullptr), 0u);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
  EXPECT_EQ(cleanUps, 3) << "the port's close frees its instances";
}

TEST_F(Monitors, AFullRingReportsDataLostAndFixedItemsComeWhole) {
  const uint32_t port = open();
  const uint32_t minimum = Qor_Monitor_GetMinimumBufferSize(port);
  EXPECT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, minimum - 1, nullptr), QOR_ERR_API_MONITOR_BUFFER_TOO_SMALL);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, minimum, nullptr), 0u);
  // Ten bytes of eight-byte items: one item comes, two bytes wait for the rest of theirs.
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  uint32_t flags = 0, items = 0;
  uint8_t buffer[64];
  const double start = GetTickCount();
  while (items == 0 && GetTickCount() - start < 3000) {
    ASSERT_EQ(Qor_Monitor_Read_FixedItemSize(port, 8, sizeof buffer, &flags, &items, buffer), 0u);
  }
  EXPECT_EQ(items, 1u);
  EXPECT_EQ(flags, 1u);
  EXPECT_EQ(Qor_Monitor_Read_FixedItemSize(port, 0, sizeof buffer, &flags, &items, buffer), QOR_ERR_API_INVALID_PARAMETER);
  // A block larger than the free space is dropped whole: three blocks of 4000 bytes of items do not fit the
  // smallest ring.
  ASSERT_LT(minimum, 3 * 4000u);
  Bytes block(4 + 4000, 0x77);
  for (int i = 0; i < 3; ++i) sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, block);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0, 0, 0, 11, 12});
  // The answer to a command comes behind them on the same road: once it is here, so are they.
  device_->onCommand(0x42, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}); });
  uint32_t size = 0;
  ASSERT_EQ(Qor_CommandWithResponse(port, 0x42, nullptr, 0, nullptr, &size), 0u);
  uint8_t lost = 0;
  const Bytes rest = readAtLeast(port, 0, 2 + 2 * 4000 + 2, lost);
  ASSERT_EQ(rest.size(), 2 + 2 * 4000 + 2u);
  EXPECT_EQ(Bytes(rest.begin(), rest.begin() + 2), (Bytes{9, 10}));
  EXPECT_EQ(Bytes(rest.end() - 2, rest.end()), (Bytes{11, 12}));
  EXPECT_EQ(lost, 1);
}

TEST_F(Monitors, ACallbackThatFallsBehindForAWhileLosesNoItems) {
  // Megabytes of items in frames as large as the port carries, and a callback that stalls the reader at first.
  constexpr uint32_t kItems = 900;
  constexpr uint32_t kFrames = 1000;
  static std::atomic<uint32_t> nextSerial{0};
  static std::atomic<uint32_t> outOfOrder{0};
  nextSerial = 0;
  outOfOrder = 0;
  const uint32_t port = open();
  ASSERT_EQ(Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE,
                             [](uint32_t, void*, const uint8_t* data, uint32_t length) {
                               if (nextSerial == 0) std::this_thread::sleep_for(200ms);
                               for (uint32_t at = 0; at + sizeof(uint32_t) <= length; at += sizeof(uint32_t)) {
                                 uint32_t serial = 0;
                                 memcpy(&serial, data + at, sizeof serial);
                                 if (serial != nextSerial) ++outOfOrder;
                                 nextSerial = serial + 1;
                               }
                             },
                             nullptr, 0, nullptr),
            0u);
  uint32_t serial = 0;
  for (uint32_t frame = 0; frame < kFrames; ++frame) {
    Bytes data(4 + kItems * sizeof(uint32_t));
    for (uint32_t item = 0; item < kItems; ++item, ++serial) {
      memcpy(&data[4 + item * sizeof serial], &serial, sizeof serial);
    }
    sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, data);
  }
  const double start = GetTickCount();
  while (nextSerial != serial && GetTickCount() - start < 5000) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(nextSerial, serial);
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
}

TEST_F(Monitors, MonitorDataWakeAUserEvent) {
  const uint32_t port = open();
  ExternalEvent event;
  ASSERT_EQ(Qor_Events_AllocateEvent(port, 0, &event), 0u);
  EXPECT_EQ(Qor_Monitor_EnableEvent(port, &event), QOR_ERR_API_NO_LOCK);
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u);
  ASSERT_EQ(Qor_Monitor_EnableEvent(port, &event), 0u);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kCanMonitor, Bytes{0, 0, 0, 0, 1});
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(port, &event, 3000), 0u);
  EXPECT_EQ(Qor_Monitor_DisableEvent(port), 0u);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
  EXPECT_EQ(Qor_Events_DeallocateEvent(port, &event), 0u);
}

TEST_F(Monitors, AnotherApplicationGetsNoMonitorLock) {
  const uint32_t port = open();
  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u);
  ChildProcess other([] {
    if (!connectLibraryToDaemon()) return 2;
    const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort);
    uint32_t theirs = 0;
    if (Qor_OpenInterface(&info, &theirs) != 0) return 3;
    return Qor_Monitor_Init(theirs, 0, nullptr, nullptr, 0, nullptr) == QOR_ERR_SERVER_NO_LOCK ? 0 : 4;
  });
  EXPECT_EQ(other.wait(10s), 0);
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
}

} // namespace
} // namespace qor::test
