#include "emulated_interfaces.hpp"

#include <cstdio>
#include <cstring>

namespace qor::bench {
namespace {
constexpr uint32_t kModel = 58;
constexpr uint16_t kTcpPort = 5134;
} // namespace

EmulatedInterface startInterface(int index) {
  EmulatedInterface interface;
  emulator::Identity identity;
  identity.deviceCode = 61;
  identity.interfaces = {{2, 1}};
  interface.device = std::make_unique<emulator::Device>(emulator::DeviceConfig{1000u + index, kModel, identity});
  interface.device->recorder().setEnabled(false);
  const std::string address = "127.0.0." + std::to_string(2 + index);
  interface.network = std::make_unique<emulator::TcpFrontEnd>(*interface.device, address, kTcpPort);
  interface.network->start();
  return interface;
}

bool openInterface(EmulatedInterface& interface) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = kModel;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.flags = QOR_INTERFACE_FLAG_ETHERNET;
  info.deviceNumber = kTcpPort;
  const std::string address = interface.network->address();
  memcpy(info.ipAddress, address.data(), address.size());
  if (Qor_OpenInterface(&info, &interface.port) == 0) return true;
  std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
  return false;
}

} // namespace qor::bench
