// A device that fails, garbles its frames or goes away for a while: the daemon's road to it recovers, and the
// applications of the port get their answers again.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "qor_emulator/frame.hpp"
#include "qor_helpers.h"
#include "qor_test/interface_fixture.hpp"
#include "qor_test/syslog_capture.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kCommand = 0x42;
constexpr uint8_t kFaultCommand = 0x44;

using DeviceRoad = InterfaceFixture;

void answerWithSeven(emulator::Device& device) {
  device.onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{7}); });
}

// The command's answer reaches the application.
void expectAnswer(uint32_t port) {
  uint8_t response[16];
  uint32_t size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(response, response + size), Bytes{7});
}

// The command is answered again within bound (answers sent while the road recovers may be lost).
bool answeredAgainWithin(uint32_t port, std::chrono::milliseconds bound) {
  const double until = GetTickCount() + static_cast<double>(bound.count());
  while (GetTickCount() < until) {
    uint8_t response[16];
    uint32_t size = sizeof response;
    if (Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size) == 0) return size == 1 && response[0] == 7;
  }
  return false;
}

struct BadFrame {
  const char* kind;
  std::function<Reply(const ReceivedFrame&)> reply;
  const char* logged; // what the daemon's log tells of it
};

// The frame area of the model is 4096 bytes.
const BadFrame kBadFrames[] = {
    {"a length of 0xFFFF, then silence",
     [](const ReceivedFrame& f) -> Reply { return emulator::withLength(f.response(Bytes{1}), 0xFFFF); },
     "frame of 65535 bytes"},
    {"a whole frame of 4108 bytes",
     [](const ReceivedFrame& f) -> Reply { return f.response(Bytes(4096, 0xAB)); }, "frame of 4108 bytes"},
    {"bytes without the marker",
     [](const ReceivedFrame& f) -> Reply {
       Bytes garbled = f.response(Bytes{1, 2, 3});
       garbled[0] = '*';
       return garbled;
     },
     "no frame"},
    {"a length below the header", [](const ReceivedFrame& f) -> Reply { return emulator::withLength(f.response(Bytes{1}), 11); },
     "no frame"},
    {"a body cut off, then silence",
     [](const ReceivedFrame& f) -> Reply { return emulator::firstBytes(f.response(Bytes{1, 2, 3}), 13); },
     "incomplete"},
};

TEST_F(DeviceRoad, AFailedReadLeavesThePortToTheNextConnect) {
  // A body cut off by a drop fails the read: the hardware thread ends and the applications are told.
  device_->onCommand(kFaultCommand, [](const ReceivedFrame& frame) -> Reply {
    return Reply(emulator::firstBytes(frame.response(Bytes{1, 2, 3}), 13)).cut();
  });
  answerWithSeven(*device_);
  const uint32_t first = open();
  uint8_t response[16];
  uint32_t size = sizeof response;
  EXPECT_NE(Qor_CommandWithResponse(first, kFaultCommand, nullptr, 0, response, &size), 0u);
  // The first application stays; the next one connects to the same port and starts a new reader.
  const uint32_t second = open();
  expectAnswer(second);
}

TEST_F(DeviceRoad, ABadFrameCostsOnlyItselfAndThePortGoesOn) {
  answerWithSeven(*device_);
  SyslogCapture log;
  for (const BadFrame& bad : kBadFrames) {
    SCOPED_TRACE(bad.kind);
    device_->onCommand(kFaultCommand, bad.reply);
    uint32_t port = open();
    uint8_t response[16];
    uint32_t size = sizeof response;
    EXPECT_NE(Qor_CommandWithResponse(port, kFaultCommand, nullptr, 0, response, &size), 0u);
    EXPECT_TRUE(answeredAgainWithin(port, 8s)) << "a later command on the port";
    EXPECT_TRUE(log.waitFor(bad.logged, 1s));
    // The port stays open in the daemon once its last application has left; a later open reuses it.
    EXPECT_EQ(Qor_CloseInterface(port), 0u);
    port = open();
    expectAnswer(port);
    EXPECT_EQ(Qor_CloseInterface(port), 0u);
  }
}

TEST_F(DeviceRoad, ADeviceAwayLongerThanTheReconnectWindowIsReachedAgain) {
  answerWithSeven(*device_);
  uint32_t port = open();
  network_->refuseConnections(true);
  network_->cutConnections();
  // The daemon's read tries to reconnect for ten seconds, then tells the application that the device is gone.
  std::this_thread::sleep_for(12s);
  network_->refuseConnections(false);
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
  port = open();
  expectAnswer(port);
}

} // namespace
} // namespace qor::test
