#include "interface_fixture.hpp"

#include <algorithm>
#include <cstring>

namespace qor::test {

Qor_InterfaceInfo_t ethernetDescriptor(const char* address, uint16_t tcpPort, uint8_t interfaceNumber, uint32_t model) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = model;
  info.controllerNumber = 1;
  info.interfaceNumber = interfaceNumber;
  info.flags = QOR_INTERFACE_FLAG_ETHERNET;
  info.deviceNumber = tcpPort;
  memcpy(info.ipAddress, address, std::min(strlen(address), sizeof info.ipAddress));
  return info;
}

void InterfaceFixture::SetUp() {
  emulator::Identity identity;
  identity.deviceCode = 61; // the firmware's code of the Ethernet model
  identity.interfaces = {{kCanFirmwareCode, 1}, {kCanFirmwareCode, 2}};
  device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kDeviceSerial, kEthernetModel, identity});
  network_ = std::make_unique<emulator::TcpFrontEnd>(*device_, kDeviceAddress, kDevicePort);
  network_->start();
  daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM);
  ASSERT_TRUE(connectLibraryToDaemon());
}

void InterfaceFixture::TearDown() {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
  daemon_.reset();
  network_.reset();
}

uint32_t InterfaceFixture::open(uint8_t interfaceNumber) {
  const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, interfaceNumber);
  uint32_t port = QOR_NO_PORT;
  const uint32_t result = Qor_OpenInterface(&info, &port);
  EXPECT_EQ(result, 0u) << Qor_GetLastErrorDescription();
  return port;
}

} // namespace qor::test
