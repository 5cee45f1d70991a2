#include "emulated_interfaces.hpp"

#include <cstdio>
#include <cstring>

namespace qor::bench {
namespace {
constexpr uint16_t kTcpPort = 5134;
} // namespace

EmulatedInterface startInterface(int index, InterfaceKind kind) {
  EmulatedInterface interface;
  emulator::Identity identity;
  identity.deviceCode = kind.deviceCode;
  identity.interfaces = {{kind.firmwareInterface, 1}};
  interface.model = kind.model;
  interface.device = std::make_unique<emulator::Device>(emulator::DeviceConfig{1000u + index, kind.model, identity});
  interface.device->recorder().setEnabled(false);
  const std::string address = "127.0.0." + std::to_string(2 + index);
  interface.network = std::make_unique<emulator::TcpFrontEnd>(*interface.device, address, kTcpPort);
  interface.network->start();
  return interface;
}

bool openInterface(EmulatedInterface& interface) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = interface.model;
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
