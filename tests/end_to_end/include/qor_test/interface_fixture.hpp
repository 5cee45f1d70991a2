// One emulated Ethernet interface on loopback, the daemon as a process, and the library of this test process
// connected to it: the whole road of a command.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

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

// A descriptor of an Ethernet-attached interface.
Qor_InterfaceInfo_t ethernetDescriptor(const char* address, uint16_t tcpPort, uint8_t interfaceNumber = 1,
                                       uint32_t model = kEthernetModel);

class InterfaceFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The parts of SetUp, for cases that start the daemon later than the library.
  void startDevice();
  void startDaemon();

  // Opens the emulated interface; fails the test when the open fails.
  uint32_t open(uint8_t interfaceNumber = 1);
  // The application index the daemon gave the port: the device addresses its unsolicited frames by it.
  static uint8_t applicationOf(uint32_t port);
  // Sends a frame of this type and command to the port's application, as the firmware does on its own.
  void sendUnsolicited(uint32_t port, uint8_t type, uint8_t command, std::span<const uint8_t> data);

  std::unique_ptr<emulator::Device> device_;
  std::unique_ptr<emulator::TcpFrontEnd> network_;
  std::unique_ptr<DaemonProcess> daemon_;
};

} // namespace qor::test
