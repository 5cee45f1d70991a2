#include "qor_test/interface_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "qor_emulator/frame.hpp"
#include "qor_shared/host_types.hpp"
#include "qor_shared/protocol.hpp"

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

EmulatedModel ethernetController() {
  return {kEthernetModel, {{kCanFirmwareCode, 1}, {kCanFirmwareCode, 2}, {kRestBusFirmwareCode, 3}}};
}

EmulatedModel klineController() {
  return {kEthernetModel, {{kKLineFirmwareCode, 1}, {kKLineFirmwareCode, 2}, {kCanFirmwareCode, 3}}};
}

EmulatedModel modelOfParameterLength1012() { return {11, {{kCanFirmwareCode, 1}}}; }

EmulatedModel modelOfParameterLength32756() { return {74, {{kCanFirmwareCode, 1}}}; }

EmulatedModel stressModuleController() {
  return {kEthernetModel, {{kCanFirmwareCode, 1}, {kCanStressFirmwareCode, 2}}};
}

EmulatedModel stressModuleOfParameterLength1012() {
  return {modelOfParameterLength1012().hostType, {{kCanFirmwareCode, 1}, {kCanStressFirmwareCode, 2}}};
}

EmulatedModel linModelOfParameterLength1012() { return {modelOfParameterLength1012().hostType, {{kLinFirmwareCode, 1}}}; }

EmulatedModel mostController() { return {kEthernetModel, {{kMostFirmwareCode, 1}, {kCanFirmwareCode, 2}}}; }
EmulatedModel mostMonitorController() {
  return {40, {{kMostFirmwareCode, 1}, {kMostFirmwareCode, 2}, {kCanFirmwareCode, 3}}};
}
EmulatedModel automotiveEthernetController() {
  return {kEthernetModel, {{kEthernetFirmwareCode, 1}, {kCanFirmwareCode, 2}}};
}

EmulatedModel linAndKLineController() {
  return {kEthernetModel,
          {{kLinFirmwareCode, 1}, {kLinFirmwareCode, 2}, {kKLineFirmwareCode, 3}, {kKLineFirmwareCode, 4}}};
}

EmulatedModel flexRayController() { return {kEthernetModel, {{kFlexRayFirmwareCode, 1}, {kCanFirmwareCode, 2}}}; }

EmulatedModel flexRayNodes() {
  return {kEthernetModel, {{kFlexRayFirmwareCode, 1}, {kFlexRayFirmwareCode, 2}, {kCanFirmwareCode, 3}}};
}

void InterfaceFixture::SetUp() {
  startDevice();
  startDaemon();
  ASSERT_TRUE(connectLibraryToDaemon());
}

void InterfaceFixture::startDevice() {
  const HostType* host = findHostType(model_.hostType);
  ASSERT_TRUE(host != nullptr && host->firmwareDeviceCodes[0] != 0) << "model " << model_.hostType;
  emulator::Identity identity;
  identity.deviceCode = host->firmwareDeviceCodes[0];
  identity.interfaces = model_.interfaces;
  device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kDeviceSerial, model_.hostType, identity});
  network_ = std::make_unique<emulator::TcpFrontEnd>(*device_, kDeviceAddress, kDevicePort);
  network_->start();
}

void InterfaceFixture::startDaemon() { daemon_ = std::make_unique<DaemonProcess>(QORAPID_PROGRAM); }

void InterfaceFixture::TearDown() {
  for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) Qor_CloseInterface(port);
  daemon_.reset();
  network_.reset();
  if (!device_) return;
  const std::string unexpected = device_->requests().unexpectedRequests();
  if (!unexpected.empty()) ADD_FAILURE() << "requests the device did not expect:\n" << unexpected;
  const std::string unmet = device_->requests().unmetExpectations();
  if (!unmet.empty()) ADD_FAILURE() << "expectations no request met:\n" << unmet;
}

uint32_t InterfaceFixture::open(uint8_t interfaceNumber) {
  const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, interfaceNumber, model_.hostType);
  uint32_t port = QOR_NO_PORT;
  const uint32_t result = Qor_OpenInterface(&info, &port);
  EXPECT_EQ(result, 0u) << Qor_GetLastErrorDescription();
  return port;
}

uint8_t InterfaceFixture::applicationOf(uint32_t port) {
  uint32_t application = 0;
  EXPECT_EQ(Qor_GetPropertyById(port, 4, &application), 0u);
  return static_cast<uint8_t>(application);
}

void InterfaceFixture::sendUnsolicited(uint32_t port, uint8_t type, uint8_t command, std::span<const uint8_t> data) {
  Qor_InterfaceInfo_t info{};
  Qor_GetInterfaceInfo(port, &info);
  const FirmwareMessageHeader header =
      qor::protocol::commandHeader(QOR_REQUEST_NO_ACKNOWLEDGE, info.controllerNumber, info.interfaceNumber,
                                   applicationOf(port), 0, command, 0);
  ASSERT_TRUE(device_->sendToApplication(applicationOf(port), emulator::Reply(emulator::answerFrame(header, type, data))));
}

} // namespace qor::test
