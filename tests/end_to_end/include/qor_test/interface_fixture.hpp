// One emulated Ethernet interface on loopback, the daemon as a process, and the library of this test process
// connected to it: the whole road of a command. Tests register with qor_add_end_to_end_test (QorTesting.cmake).
//
// A test states what a call must send and what the device answers (qor_emulator/request_table.hpp), then calls:
//
//   using CommandTable = qor::test::InterfaceFixture;
//   TEST_F(CommandTable, ARecordIsSentByteExact) {
//     const uint8_t record[] = {0x01, 0x00, 0x20, 0xA1};
//     device_->expect(0x12, {0x01, 0x00, 0x20, 0xA1});  // acknowledged: Qor_Command waits for it
//     device_->expect(0x12, {0x01}).fail(0x1F, "busy");      // the next request of 0x12
//     const uint32_t port = open();
//     EXPECT_EQ(Qor_Command(port, 0x12, record, sizeof record), 0u) << Qor_GetLastErrorDescription();
//     EXPECT_EQ(Qor_Command(port, 0x12, record, 1), 0x1Fu);
//   }
//
// TearDown closes every port, stops the daemon and fails the test for every request the device's request table did
// not expect and every expectation no request met.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"
#include "qor_test/daemon_process.hpp"

namespace qor::test {

inline constexpr char kDeviceAddress[] = "127.0.0.2";
inline constexpr uint16_t kDevicePort = 5134;
inline constexpr uint32_t kDeviceSerial = 4711;
inline constexpr uint32_t kEthernetModel = 58; // single controller, 500 ms response time-out
inline constexpr uint8_t kCanFirmwareCode = 2;
inline constexpr uint8_t kRestBusFirmwareCode = 21;
inline constexpr uint8_t kLinFirmwareCode = 3;
inline constexpr uint8_t kKLineFirmwareCode = 4;
inline constexpr uint8_t kCanStressFirmwareCode = 25;
inline constexpr uint8_t kMostFirmwareCode = 15;
inline constexpr uint8_t kFlexRayFirmwareCode = 13;
inline constexpr uint8_t kEthernetFirmwareCode = 24;

// A descriptor of an Ethernet-attached interface.
Qor_InterfaceInfo_t ethernetDescriptor(const char* address, uint16_t tcpPort, uint8_t interfaceNumber = 1,
                                       uint32_t model = kEthernetModel);

// The model a device emulates. Its host type fixes the port's sizes (the maximum parameter length, the queue's
// messages); the device reports the type's firmware device code, so the port is not reopened under another type.
struct EmulatedModel {
  uint32_t hostType;
  std::vector<emulator::InterfaceEntry> interfaces;
};

// kEthernetModel with three interfaces: CAN 1 and 2, rest bus 3 (maximum parameter length 4084).
EmulatedModel ethernetController();
// kEthernetModel with K-Line interfaces 1 and 2 on one line and CAN 3.
EmulatedModel klineController();
// Models by the maximum parameter length of their ports, each with one CAN interface, for transfers in pieces. Neither
// is of the models whose monitors run in the daemon.
EmulatedModel modelOfParameterLength1012();
EmulatedModel modelOfParameterLength32756();
// The model of parameter length 1012 with one LIN interface.
EmulatedModel linModelOfParameterLength1012();
// kEthernetModel with LIN interfaces 1 and 2 and K-Line interfaces 3 and 4.
EmulatedModel linAndKLineController();
// kEthernetModel with FlexRay interface 1 and CAN 2.
EmulatedModel flexRayController();
// kEthernetModel with FlexRay interfaces 1 and 2 (two nodes of one cluster) and CAN 3.
EmulatedModel flexRayNodes();
// kEthernetModel with CAN interface 1 and the CAN stress module 2; the same of parameter length 1012.
EmulatedModel stressModuleController();
EmulatedModel stressModuleOfParameterLength1012();
// kEthernetModel with MOST interface 1 and CAN 2.
EmulatedModel mostController();
// A model whose MOST monitor data pass the core's filter, with MOST interfaces 1 and 2 and CAN 3.
EmulatedModel mostMonitorController();
// kEthernetModel with the automotive Ethernet controller 1 and CAN 2.
EmulatedModel automotiveEthernetController();

class InterfaceFixture : public ::testing::Test {
protected:
  // A fixture of another model passes it from its own constructor.
  explicit InterfaceFixture(EmulatedModel model = ethernetController()) : model_(std::move(model)) {}

  void SetUp() override;
  void TearDown() override;

  // The parts of SetUp, for cases that start the daemon later than the library. The device is the model's, with
  // serial kDeviceSerial.
  void startDevice();
  void startDaemon();

  // Opens the emulated interface; fails the test when the open fails.
  uint32_t open(uint8_t interfaceNumber = 1);
  // The application index the daemon gave the port: the device addresses its unsolicited frames by it.
  static uint8_t applicationOf(uint32_t port);
  // Sends a frame of this type and command to the port's application, as the firmware does on its own.
  void sendUnsolicited(uint32_t port, uint8_t type, uint8_t command, std::span<const uint8_t> data);

  const EmulatedModel model_;
  std::unique_ptr<emulator::Device> device_;
  std::unique_ptr<emulator::TcpFrontEnd> network_;
  std::unique_ptr<DaemonProcess> daemon_;
};

} // namespace qor::test
