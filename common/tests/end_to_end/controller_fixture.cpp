#include "controller_fixture.hpp"

#include "qor_test/daemon_process.hpp"

namespace qor::test {

void ControllerFixture::SetUp() {
  emulator::Identity identity;
  identity.deviceCode = model_.deviceCode;
  identity.interfaces = {{kCanFirmwareCode, 1}};
  device_ = std::make_unique<emulator::Device>(emulator::DeviceConfig{kDeviceSerial, model_.hostType, identity});
  network_ = std::make_unique<emulator::TcpFrontEnd>(*device_, kDeviceAddress, kDevicePort);
  network_->start();
  startDaemon();
  ASSERT_TRUE(connectLibraryToDaemon());
}

uint32_t ControllerFixture::openController() {
  const Qor_InterfaceInfo_t info = ethernetDescriptor(kDeviceAddress, kDevicePort, 1, model_.hostType);
  uint32_t port = QOR_NO_PORT;
  EXPECT_EQ(Qor_OpenInterface(&info, &port), 0u) << Qor_GetLastErrorDescription();
  return port;
}

}  // namespace qor::test
