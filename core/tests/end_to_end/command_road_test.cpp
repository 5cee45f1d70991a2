// Commands from the library through the daemon and TCP to an emulated device and back.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <thread>

#include "qor_emulator/discovery_responder.hpp"
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

constexpr uint8_t kCommand = 0x42;

using CommandRoad = InterfaceFixture;

TEST_F(CommandRoad, OpenIdentifiesTheInterfaceAndCloseReleasesIt) {
  const uint32_t port = open();
  EXPECT_EQ(Qor_GetInterfaceType(port), static_cast<uint32_t>(QOR_INTERFACE_CAN));
  EXPECT_EQ(Qor_GetHostInterfaceType(port), kEthernetModel);
  uint32_t serial = 0;
  EXPECT_EQ(Qor_GetPropertyById(port, 2, &serial), 0u);
  EXPECT_EQ(serial, kDeviceSerial);
  // The daemon asked the serial number, the library the identity.
  ASSERT_TRUE(device_->recorder().waitForCommand(0x0C, 1s));
  ASSERT_TRUE(device_->recorder().waitForCommand(0xFF, 1s));
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
  EXPECT_EQ(Qor_CheckPortHandle(port), QOR_ERR_API_INVALID_PORT_HANDLE);
  // The closed port's slot opens again.
  EXPECT_EQ(open(), port);
}

TEST_F(CommandRoad, ResponsesComeBackByteExact) {
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply {
    const Bytes payload = {0xDE, 0xAD, 0xBE, 0xEF};
    return frame.response(payload, 2);
  });
  const uint32_t port = open();
  const uint8_t params[] = {7, 3, 0x55};
  uint8_t response[64] = {};
  uint32_t size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponseEx(port, 0, kCommand, 2, params, sizeof params, response, &size), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(response, response + size), (Bytes{7, 3, 0xDE, 0xAD, 0xBE, 0xEF}));

  auto sent = device_->recorder().waitForCommand(kCommand, 1s);
  ASSERT_TRUE(sent);
  const FirmwareMessageHeader& header = sent->header();
  EXPECT_EQ(header.marker, '#');
  EXPECT_EQ(header.requestKind, QOR_REQUEST_NO_ACKNOWLEDGE);
  EXPECT_EQ(header.length, 15);
  EXPECT_EQ(header.TAddr, 1);
  EXPECT_EQ(header.TPort, 1);
  EXPECT_EQ(header.type, QOR_FRAME_COMMAND);
  uint32_t application = 0;
  Qor_GetPropertyById(port, 4, &application);
  EXPECT_EQ(header.App, application);
  EXPECT_EQ(Bytes(sent->parameters().begin(), sent->parameters().end()), Bytes(params, params + sizeof params));

  // A buffer too small for the answer is a clear error.
  size = 3;
  EXPECT_EQ(Qor_CommandWithResponseEx(port, 0, kCommand, 2, params, sizeof params, response, &size), 0x2000201u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x02000201 - API - response buffer too small - response buffer (3 bytes) < response (6 bytes)");
  EXPECT_EQ(size, 0u);
}

TEST_F(CommandRoad, AcknowledgesAndNegativeAcknowledges) {
  device_->expect(kCommand, {0x01, 0x02});
  device_->expect(0x43, {}).fail(0x1234, "value %d too large");
  const uint32_t port = open();
  const uint8_t params[] = {0x01, 0x02};
  EXPECT_EQ(Qor_Command(port, kCommand, params, sizeof params), 0u);
  EXPECT_EQ(Qor_Command(port, 0x43, nullptr, 0), 0x1234u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x00001234 - FW - value %d too large");
  uint32_t code = 0;
  char text[128];
  uint32_t size = sizeof text;
  EXPECT_EQ(Qor_GetLastErrorByPortHandle(port, &code, &size, text), 0u);
  EXPECT_EQ(code, 0x1234u);
  // The firmware tells the text of its codes.
  device_->setErrorText(0x1234, "value too large");
  size = sizeof text;
  EXPECT_EQ(Qor_GetErrorDescription2(port, 0x1234, &size, text), 0u);
  EXPECT_STREQ(text, "value too large");
}

TEST_F(CommandRoad, ASilentDeviceTimesOutAfterThePortsTimeout) {
  device_->onCommand(kCommand, [](const ReceivedFrame&) { return Reply(); });
  const uint32_t port = open();
  uint8_t response[16];
  uint32_t size = sizeof response;
  const double start = GetTickCount();
  EXPECT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0x2000205u);
  const double waited = GetTickCount() - start;
  EXPECT_GE(waited, 490);
  EXPECT_LT(waited, 1500);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02000205 - API - no response from device - no response for command 0x42 on interface 0x04");
  // An acknowledge is no answer to a command that waits for its response.
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.acknowledge(); });
  size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0x2000205u);
}

TEST_F(CommandRoad, ADroppedConnectionIsRepairedBetweenFrames) {
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{1}); });
  const uint32_t port = open();
  uint8_t response[16];
  uint32_t size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0u);
  const size_t accepted = network_->acceptedConnections();
  network_->cutConnections();
  ASSERT_TRUE(network_->waitForAccepted(accepted + 1, 3s)); // the daemon's read reconnects
  size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(CommandRoad, AHeaderCutByADropIsNeverSplicedOntoTheNextConnection) {
  device_->onCommand(0x44, [](const ReceivedFrame& frame) -> Reply {
    return Reply(emulator::firstBytes(frame.response(Bytes{1, 2, 3}), 6)).cut();
  });
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{7}); });
  const uint32_t port = open();
  uint8_t response[16];
  uint32_t size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, 0x44, nullptr, 0, response, &size), 0x2000205u);
  size = sizeof response;
  ASSERT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Bytes(response, response + size), Bytes{7});
}

TEST_F(CommandRoad, ABodyCutByADropEndsTheDevicesRoadUntilTheNextConnect) {
  device_->onCommand(0x44, [](const ReceivedFrame& frame) -> Reply {
    return Reply(emulator::firstBytes(frame.response(Bytes{1, 2, 3}), 13)).cut();
  });
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{7}); });
  uint32_t port = open();
  uint8_t response[16];
  uint32_t size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, 0x44, nullptr, 0, response, &size), 0x2000205u);
  // The daemon told the application that its device failed; the close still releases it.
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
  port = open();
  size = sizeof response;
  EXPECT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(CommandRoad, ADeviceThatNeverTellsItsSerialNumberCannotBeOpened) {
  device_->onCommand(0x0C, [](const ReceivedFrame&) { return Reply(); });
  const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort);
  uint32_t port = 0;
  const double start = GetTickCount();
  EXPECT_EQ(Qor_OpenInterface(&info, &port), QOR_ERR_SERVER_DEVICE_NOT_CONNECTED);
  EXPECT_GE(GetTickCount() - start, 1000);
  EXPECT_EQ(port, QOR_NO_PORT);
  EXPECT_NE(std::string(Qor_GetLastErrorDescription()).find("server returned with ERRORCODE 0x1200004"), std::string::npos);
}

TEST_F(CommandRoad, TwoApplicationsShareOnePort) {
  device_->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply { return frame.response(Bytes{frame.header().App}); });
  const uint32_t first = open();
  const uint32_t second = open();
  ASSERT_NE(first, second);
  uint32_t firstIndex = 0, secondIndex = 0, firstApp = 0, secondApp = 0;
  Qor_GetPropertyById(first, 3, &firstIndex);
  Qor_GetPropertyById(second, 3, &secondIndex);
  Qor_GetPropertyById(first, 4, &firstApp);
  Qor_GetPropertyById(second, 4, &secondApp);
  EXPECT_EQ(firstIndex, secondIndex);
  EXPECT_NE(firstApp, secondApp);
  // Each application gets its own answers, from threads at once.
  std::atomic<int> wrong{0};
  auto ask = [&](uint32_t port, uint32_t app) {
    for (int i = 0; i < 50; ++i) {
      uint8_t response[4];
      uint32_t size = sizeof response;
      if (Qor_CommandWithResponse(port, kCommand, nullptr, 0, response, &size) != 0 || size != 1 || response[0] != app) ++wrong;
    }
  };
  std::thread a(ask, first, firstApp), b(ask, second, secondApp);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
  // Only one of them was given the controller lock.
  EXPECT_EQ(Qor_GetLockStatus(first) & QOR_LOCK_CONTROLLER, QOR_LOCK_CONTROLLER);
}

TEST_F(CommandRoad, AKilledClientGivesItsPortAndLocksBack) {
  {
    ChildProcess client([] {
      // A process of its own: its library loaded before the daemon, like this one's.
      if (!connectLibraryToDaemon()) return 2;
      const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort);
      uint32_t port = 0;
      if (Qor_OpenInterface(&info, &port) != 0) return 3;
      pause();
      return 0;
    });
    ASSERT_TRUE(device_->recorder().waitForCommand(0xFF, 5s));
    const uint32_t port = open();
    EXPECT_EQ(Qor_GetLockStatus(port), 0u); // the client holds the locks
    EXPECT_EQ(Qor_GetLock(port), QOR_ERR_SERVER_NO_LOCK);
    client.kill(SIGKILL);
    ASSERT_EQ(client.wait(2s), 128 + SIGKILL);
    // The daemon notices the death within about a second and frees the locks.
    const double start = GetTickCount();
    uint32_t result = QOR_ERR_SERVER_NO_LOCK;
    while (result != 0 && GetTickCount() - start < 5000) {
      result = Qor_GetLock(port);
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Qor_GetLockStatus(port), static_cast<uint32_t>(QOR_LOCK_CONTROLLER | QOR_LOCK_INTERFACE));
    EXPECT_EQ(Qor_ReleaseLock(port), 0u);
    EXPECT_EQ(Qor_GetLockStatus(port), 0u);
  }
}

TEST(Discovery, TwoDevicesAnswerOnLoopback) {
  emulator::Device first({111, kEthernetModel});
  emulator::Device second({222, 75});
  emulator::TcpFrontEnd firstNetwork(first, "127.0.0.2", 5134), secondNetwork(second, "127.0.0.3", 5135);
  firstNetwork.start();
  secondNetwork.start();
  emulator::DiscoveryResponder responder;
  responder.add(firstNetwork);
  responder.add(secondNetwork);
  responder.start();
  DaemonProcess daemon(QORAPID_PROGRAM);
  ASSERT_TRUE(connectLibraryToDaemon());
  // The host's own adapters exclude loopback; a caller may name it.
  const Qor_NetworkAdapter_t loopback{htonl(0x7F000001), htonl(0xFF000000)};
  uint8_t output[QOR_ETHERNET_DRIVER_INFO_SIZE] = {};
  ASSERT_EQ(Qor_Ethernet_GetDriverInfo(1, &loopback, output), 0u) << Qor_GetLastErrorDescription();
  uint32_t count = 0;
  memcpy(&count, output, sizeof count);
  ASSERT_EQ(count, 2u);
  EthernetDeviceRecord records[2];
  memcpy(records, output + 4, sizeof records);
  std::sort(std::begin(records), std::end(records),
            [](const auto& a, const auto& b) { return a.serialNumber < b.serialNumber; });
  EXPECT_EQ(records[0].serialNumber, 111u);
  EXPECT_EQ(records[0].address, htonl(0x7F000002));
  EXPECT_EQ(records[0].tcpPort, 5134);
  EXPECT_EQ(records[0].hostInterfaceType, kEthernetModel);
  EXPECT_EQ(records[1].serialNumber, 222u);
  EXPECT_EQ(records[1].hostInterfaceType, 75u);
  EXPECT_NE(records[0].deviceNumber, records[1].deviceNumber);
  uint32_t devices = 0;
  EXPECT_EQ(Qor_GetDriverInfo_Ethernet(loopback.address, loopback.netmask, &devices), 0u);
  EXPECT_EQ(devices, 2u);
}

} // namespace
} // namespace qor::test
