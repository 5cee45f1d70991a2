// The 94xx card path end to end: the daemon as a process finds an emulated card at start (its card library over an
// emulated bridge driver, the card played here behind its node), lists it, and serves a port of this process's
// library on it: commands, their answers and monitor data through the card's rings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "card_path_support.hpp"
#include "qor_api.h"
#include "qor_emulator/card94xx.hpp"
#include "qor_helpers.h"
#include "qor_monitor.h"
#include "qor_test/daemon_process.hpp"

namespace qor::daemon {
namespace {

using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;
using namespace std::chrono_literals;

constexpr uint32_t kPxi9440 = 24;
constexpr uint32_t kIdentifier = 94400017;
constexpr uint8_t kCanFirmwareCode = 2;
constexpr uint8_t kEcho = 0x42;
constexpr uint8_t kCanMonitor = 0xF1;
constexpr uint8_t kCanMonitorControl = 0x50;

class Cards94xxEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    emulator::Identity identity;
    identity.deviceCode = 0x24;
    identity.interfaces = {{kCanFirmwareCode, 1}};
    device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kIdentifier, kPxi9440, identity});
    emulator::answerIdentification(*device_, {.identifier = kIdentifier, .position = 4, .fpgaValue = 0x0201});
    device_->onCommand(kEcho, [](const ReceivedFrame& frame) { return Reply(frame.response(frame.parameters())); });
    device_->onCommand(kCanMonitorControl, [](const ReceivedFrame& frame) { return Reply(frame.response(Bytes{}, 1)); });
    card_ = std::make_unique<emulator::Card94xx>(*device_, emulator::Card94xxConfig{});
    // The daemon loads the card library by name: this one reaches the card through the emulated driver.
    setenv("LD_LIBRARY_PATH", PXI94XX_OVER_EMULATED_DRIVER, 1);
    daemon_ = std::make_unique<qor::test::DaemonProcess>(QORAPID_PROGRAM);
    ASSERT_TRUE(qor::test::connectLibraryToDaemon());
  }

  void TearDown() override {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
    daemon_.reset();
    card_.reset();
  }

  std::unique_ptr<emulator::Device> device_;
  std::unique_ptr<emulator::Card94xx> card_;
  std::unique_ptr<qor::test::DaemonProcess> daemon_;
};

TEST_F(Cards94xxEndToEnd, TheDaemonListsTheCardItFoundAtStart) {
  uint8_t table[4108];
  uint32_t size = sizeof table;
  ASSERT_EQ(Qor_GetDriverInfo(kPxi9440, table, &size), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(size, CardDeviceTable::kHeaderSize + sizeof(CardDeviceRecord));
  uint32_t header[3];
  std::memcpy(header, table, sizeof header);
  EXPECT_EQ(header[0], 104u); // library version
  EXPECT_EQ(header[1], 7u * 100 + 24u * 10); // the driver's version 7.24 as the library reports it
  EXPECT_EQ(header[2], 1u);
  CardDeviceRecord record;
  std::memcpy(&record, table + CardDeviceTable::kHeaderSize, sizeof record);
  EXPECT_EQ(record.hostInterfaceType, kPxi9440);
  EXPECT_EQ(record.communicationType, 1u);
  EXPECT_EQ(record.deviceNumber, 1u);
  EXPECT_EQ(record.deviceIdentifier, kIdentifier);
  EXPECT_EQ(record.position, 4u);
  EXPECT_EQ(record.fpgaValue, 0x0102u);
  EXPECT_EQ(record.card, 1);
}

TEST_F(Cards94xxEndToEnd, APortOnTheCardCarriesCommandsAndMonitorData) {
  const uint32_t port = daemon::test::openCardThroughLibrary(kPxi9440);
  ASSERT_NE(port, QOR_NO_PORT);
  const uint8_t parameters[] = {1, 2, 3, 4, 5};
  uint8_t response[16];
  uint32_t size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponse(port, kEcho, parameters, sizeof parameters, response, &size), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(response, response + size), Bytes(parameters, parameters + sizeof parameters));

  ASSERT_EQ(Qor_Monitor_Init(port, 0, nullptr, nullptr, 0, nullptr), 0u) << Qor_GetLastErrorDescription();
  const auto application = device_->lastApplicationOn(1, 1);
  ASSERT_TRUE(application);
  // Monitor items start at frame byte 16: four bytes of the frame's data go before them.
  const uint8_t monitorData[] = {0, 0, 0, 0, 0xC1, 0xC2, 0xC3};
  ASSERT_TRUE(device_->sendToApplication(*application, kCanMonitor, monitorData));
  Bytes received;
  const double start = GetTickCount();
  while (received.size() < 3 && GetTickCount() - start < 3000) {
    uint8_t buffer[256];
    uint32_t length = sizeof buffer;
    uint8_t lost = 0;
    ASSERT_EQ(Qor_Monitor_Read(port, 0, buffer, &length, &lost), 0u);
    received.insert(received.end(), buffer, buffer + length);
    if (length == 0) std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(received, (Bytes{0xC1, 0xC2, 0xC3}));
  EXPECT_EQ(Qor_CloseMonitor(port), 0u);
}

} // namespace
} // namespace qor::daemon
