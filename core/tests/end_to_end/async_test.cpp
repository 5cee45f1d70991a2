// Answers that no caller waits for, end to end: callbacks, the error callback, the firmware buffer with raw frames,
// user events and the rest-bus routing.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "qor_emulator/frame.hpp"
#include "qor_helpers.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kReport = 0x60;
constexpr size_t kRingRecords = 255;

// What the callbacks of a test received, waited for with a bound.
struct Received {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Bytes> frames;

  static void callback(uint32_t, void* context, const uint8_t* data, uint32_t length) {
    auto* self = *static_cast<Received**>(context);
    std::lock_guard lock(self->mutex);
    self->frames.emplace_back(data, data + length);
    self->changed.notify_all();
  }
  bool waitFor(size_t count, std::chrono::milliseconds timeout = 3s) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return frames.size() >= count; });
  }
  size_t count() {
    std::lock_guard lock(mutex);
    return frames.size();
  }
};

// Registers callback with the Received record as its user data, as the bus libraries keep their callbacks.
uint32_t addCallback(uint32_t port, const Bytes& control, Received& received) {
  void* userData = nullptr;
  const uint32_t result = Qor_AsyncCommunication_AddCallback(port, kReport, QOR_FRAME_RESPONSE, control.data(),
                                                             static_cast<uint8_t>(control.size()), Received::callback,
                                                             nullptr, sizeof(Received*), &userData);
  if (result == 0) *static_cast<Received**>(userData) = &received;
  return result;
}

struct FirmwareRead {
  uint8_t command, lost, type;
  Bytes data;
};

std::vector<FirmwareRead> readFirmwareBuffer(uint32_t port) {
  std::vector<FirmwareRead> reads;
  for (;;) {
    uint8_t data[512];
    uint32_t length = sizeof data;
    FirmwareRead read{};
    EXPECT_EQ(Qor_Fw_Read(port, &read.command, &read.lost, &read.type, &length, data), 0u);
    if (length == 0 && read.command == 0) return reads;
    read.data.assign(data, data + length);
    reads.push_back(read);
  }
}

using Async = InterfaceFixture;

TEST_F(Async, CallbacksTakeTheirFramesAndTheFirmwareBufferKeepsThem) {
  const uint32_t port = open();
  Received fives, fiveOnes;
  // An entry may not hide under an older, shorter one; a shorter one may come in front of a longer one.
  ASSERT_EQ(addCallback(port, {0x05, 0x01}, fiveOnes), 0u);
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Fw_Buffer_Enable(port, 0), 0u);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kReport, Bytes{0x05, 0x01, 0xAA});
  ASSERT_TRUE(fiveOnes.waitFor(1));
  ASSERT_EQ(addCallback(port, {0x05}, fives), 0u);
  EXPECT_EQ(addCallback(port, {0x05, 0x01}, fives), QOR_ERR_API_CALLBACK_EXISTS);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kReport, Bytes{0x05, 0x01, 0xBB});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, kReport, Bytes{0x06});         // no entry: buffer only
  sendUnsolicited(port, QOR_FRAME_ACKNOWLEDGE, kReport, Bytes{0, 0, 0, 0}); // another type: buffer only
  ASSERT_TRUE(fives.waitFor(1));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(fiveOnes.count(), 1u);
  EXPECT_EQ(fives.frames[0], (Bytes{0x05, 0x01, 0xBB}));
  const std::vector<FirmwareRead> kept = readFirmwareBuffer(port);
  ASSERT_EQ(kept.size(), 4u);
  EXPECT_EQ(kept[0].data, (Bytes{0x05, 0x01, 0xAA}));
  EXPECT_EQ(kept[2].data, (Bytes{0x06}));
  EXPECT_EQ(kept[3].type, QOR_FRAME_ACKNOWLEDGE);
  EXPECT_EQ(kept[3].command, kReport);

  EXPECT_EQ(Qor_AsyncCommunication_RemoveCallback(port, kReport, QOR_FRAME_RESPONSE, nullptr, 0), QOR_ERR_API_CALLBACK_NOT_FOUND);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02000400 - API - callback function was not found - command '0x60', check bytes: none");
  const uint8_t five = 0x05;
  EXPECT_EQ(Qor_AsyncCommunication_RemoveCallback(port, kReport, QOR_FRAME_RESPONSE, &five, 1), 0u);
}

TEST_F(Async, NegativeAcknowledgesReachTheErrorCallback) {
  static std::atomic<uint32_t> code{0};
  static char text[64];
  const uint32_t port = open();
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, [](uint32_t, uint32_t c, const char* t, uint32_t length) {
              snprintf(text, sizeof text, "%.*s", static_cast<int>(length), t);
              code = c;
            }),
            0u);
  Bytes nack = {0x21, 0x43, 0, 0};
  for (char c : std::string("overheated")) nack.push_back(static_cast<uint8_t>(c));
  nack.push_back(0);
  sendUnsolicited(port, QOR_FRAME_ACKNOWLEDGE, kReport, nack);
  const double start = GetTickCount();
  while (code == 0 && GetTickCount() - start < 3000) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(code, 0x4321u);
  EXPECT_STREQ(text, "overheated");
  // A library reports its own decoding failure the same way.
  code = 0;
  EXPECT_EQ(Qor_AsyncCommunication_CallErrorCallback(port, 7, "'decoder' error", 16), 0u);
  EXPECT_EQ(code, 7u);
}

TEST_F(Async, AFullRingDropsFramesThatThenReachNeitherCallbackNorBuffer) {
  const uint32_t port = open();
  Received received;
  std::mutex gate;
  std::unique_lock closed(gate);
  static std::mutex* blocked = &gate;
  void* userData = nullptr;
  const uint8_t control = 0x01;
  // The first call waits until the test opens the gate: everything after it queues in the ring.
  ASSERT_EQ(Qor_AsyncCommunication_AddCallback(
                port, kReport, QOR_FRAME_RESPONSE, &control, 1,
                [](uint32_t p, void* context, const uint8_t* data, uint32_t length) {
                  std::lock_guard wait(*blocked);
                  Received::callback(p, context, data, length);
                },
                nullptr, sizeof(Received*), &userData),
            0u);
  *static_cast<Received**>(userData) = &received;
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Fw_Buffer_Enable(port, 65536), 0u);
  constexpr int kFrames = 300;
  for (int i = 0; i < kFrames; ++i) {
    sendUnsolicited(port, QOR_FRAME_RESPONSE, kReport, Bytes{0x01, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
  }
  // The last frame went through the daemon once the device answers a command sent after it.
  device_->onCommand(0x42, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{}); });
  uint8_t response[8];
  uint32_t size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponse(port, 0x42, nullptr, 0, response, &size), 0u);
  closed.unlock();
  ASSERT_TRUE(received.waitFor(kRingRecords));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(received.count(), kRingRecords);
  EXPECT_EQ(readFirmwareBuffer(port).size(), kRingRecords);
}

TEST_F(Async, ACallbackRemovedWhileFramesArriveIsNeverCalledAfterward) {
  const uint32_t port = open();
  static std::atomic<int> releases{0};
  static std::atomic<bool> removed{false};
  static std::atomic<int> lateCalls{0};
  const uint8_t control = 0x02;
  void* userData = nullptr;
  ASSERT_EQ(Qor_AsyncCommunication_AddCallback(
                port, kReport, QOR_FRAME_RESPONSE, &control, 1,
                [](uint32_t, void*, const uint8_t*, uint32_t) {
                  if (removed) ++lateCalls;
                  std::this_thread::sleep_for(1ms);
                },
                [](uint32_t, void*) { ++releases; }, 64, &userData),
            0u);
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  std::thread flood([&] {
    for (int i = 0; i < 200; ++i) sendUnsolicited(port, QOR_FRAME_RESPONSE, kReport, Bytes{0x02, 1, 2, 3});
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Qor_AsyncCommunication_RemoveCallback(port, kReport, QOR_FRAME_RESPONSE, &control, 1), 0u);
  removed = true;
  flood.join();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(lateCalls, 0);
  EXPECT_EQ(releases, 1);
  EXPECT_EQ(Qor_AsyncCommunication_Disable(port), 0u);
}

TEST_F(Async, RawFramesGoOutWithTheirRequestKind) {
  const uint32_t port = open();
  device_->recorder().clear();
  const uint8_t data[] = {9, 8, 7};
  for (uint8_t mode : {0, 1, 2}) EXPECT_EQ(Qor_Fw_Write(port, mode, 0x70 + mode, sizeof data, data), 0u);
  EXPECT_EQ(Qor_Fw_Write(port, 3, 0x73, sizeof data, data), QOR_ERR_API_UNKNOWN_MODE);
  for (uint8_t mode : {0, 1, 2}) {
    auto frame = device_->recorder().waitForCommand(0x70 + mode, 2s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->header().requestKind, mode);
    EXPECT_EQ(Bytes(frame->parameters().begin(), frame->parameters().end()), Bytes(data, data + sizeof data));
  }
  // Without a firmware buffer there is nothing to read; with one, what the device sends on its own.
  uint8_t command = 1, lost = 1, type = 1;
  uint8_t buffer[8];
  uint32_t length = sizeof buffer;
  EXPECT_EQ(Qor_Fw_Read(port, &command, &lost, &type, &length, buffer), QOR_ERR_API_OPERATION_NOT_ALLOWED);
  EXPECT_EQ(Qor_Fw_Buffer_Enable(port, 23), QOR_ERR_API_INVALID_PARAMETER);
  EXPECT_EQ(Qor_Fw_Buffer_Enable(port, 24), 0u);
  EXPECT_EQ(Qor_Fw_Buffer_Enable(port, 24), QOR_ERR_API_OPERATION_NOT_ALLOWED);
  length = sizeof buffer;
  EXPECT_EQ(Qor_Fw_Read(port, &command, &lost, &type, &length, buffer), 0u);
  EXPECT_EQ(length, 0u);
}

TEST_F(Async, UserEventsWaitTheirTimeAndResetThemselves) {
  const uint32_t port = open();
  ExternalEvent event;
  ASSERT_EQ(Qor_Events_AllocateEvent(port, 0, &event), 0u);
  EXPECT_EQ(Qor_Events_AllocateEvent(port, 2, &event), QOR_ERR_API_UNKNOWN_FLAG);
  Qor_External_SetEvent(&event);
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(port, &event, 1000), 0u);
  const double start = GetTickCount();
  EXPECT_EQ(Qor_Events_WaitForSingleEvent(port, &event, 100), QOR_ERR_API_EVENT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 99);
  EXPECT_EQ(Qor_Events_DeallocateEvent(port, &event), 0u);
}

TEST_F(Async, RestBusUpdatesGoToTheirOwnCallback) {
  const uint32_t port = open(3);
  ASSERT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_RESTBUS));
  static Received* updates = nullptr;
  Received received;
  updates = &received;
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port, nullptr), 0u);
  ASSERT_EQ(Qor_Fw_Buffer_Enable(port, 0), 0u);
  ASSERT_EQ(Qor_Cyclor_UpdateCallback_Set(port, [](uint32_t p, void*, const uint8_t* data, uint32_t length) {
              Received::callback(p, &updates, data, length);
            }),
            0u);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, 0x23, Bytes{1, 2});
  ASSERT_TRUE(received.waitFor(1));
  EXPECT_EQ(received.frames[0], (Bytes{1, 2}));
  ASSERT_EQ(Qor_Cyclor_UpdateCallback_Reset(port), 0u);
  sendUnsolicited(port, QOR_FRAME_RESPONSE, 0x23, Bytes{3});
  sendUnsolicited(port, QOR_FRAME_RESPONSE, 0x24, Bytes{4}); // an ordinary frame, kept
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(received.count(), 1u);
  const std::vector<FirmwareRead> kept = readFirmwareBuffer(port);
  ASSERT_EQ(kept.size(), 2u); // the routed update, and the ordinary frame; the dropped update reached nothing
  EXPECT_EQ(kept[1].command, 0x24);

  // Signal writes go out without waiting for anything.
  const uint8_t signal[] = {0x10, 0x20};
  EXPECT_EQ(Qor_Cyclor_WriteSignal(port, signal, sizeof signal), 0u);
  auto written = device_->recorder().waitForCommand(0x22, 2s);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->header().requestKind, QOR_REQUEST_NO_ACKNOWLEDGE);
}

} // namespace
} // namespace qor::test
