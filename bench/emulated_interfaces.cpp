#include "emulated_interfaces.hpp"

#include <algorithm>
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

Qor_InterfaceInfo_t interfaceInfo(const std::string& address, InterfaceKind kind) {
  Qor_InterfaceInfo_t info{};
  info.hostInterfaceType = kind.model;
  info.controllerNumber = 1;
  info.interfaceNumber = 1;
  info.flags = QOR_INTERFACE_FLAG_ETHERNET;
  info.deviceNumber = kTcpPort;
  memcpy(info.ipAddress, address.data(), std::min(address.size(), sizeof info.ipAddress));
  return info;
}

bool openInterface(EmulatedInterface& interface) {
  InterfaceKind kind;
  kind.model = interface.model;
  const Qor_InterfaceInfo_t info = interfaceInfo(interface.network->address(), kind);
  if (Qor_OpenInterface(&info, &interface.port) == 0) return true;
  std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
  return false;
}

} // namespace qor::bench
