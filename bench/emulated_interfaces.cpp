#include "emulated_interfaces.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_support.hpp"
#include "qor_emulator/frame.hpp"

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

EchoDevices::EchoDevices(int count, uint8_t command) {
  int keepAlive[2], ready[2];
  if (pipe(keepAlive) != 0 || pipe(ready) != 0) return;
  process_ = fork();
  if (process_ == 0) {
    close(keepAlive[1]);
    close(ready[0]);
    std::vector<EmulatedInterface> interfaces;
    for (int i = 0; i < count; ++i) {
      interfaces.push_back(startInterface(i));
      interfaces.back().device->onCommand(command, [](const emulator::ReceivedFrame& frame) -> emulator::Reply {
        return frame.response(frame.parameters().empty() ? frame.parameters() : frame.parameters().subspan(1), 1);
      });
    }
    const char started = 1;
    [[maybe_unused]] const ssize_t told = write(ready[1], &started, 1);
    char ignored;
    while (read(keepAlive[0], &ignored, 1) > 0) {
    }
    _exit(0);
  }
  close(keepAlive[0]);
  close(ready[1]);
  keepAlive_ = keepAlive[1];
  char started = 0;
  [[maybe_unused]] const ssize_t heard = read(ready[0], &started, 1);
  close(ready[0]);
}

EchoDevices::~EchoDevices() {
  if (keepAlive_ != -1) close(keepAlive_);
  if (process_ > 0) waitpid(process_, nullptr, 0);
}

bool openInterface(EmulatedInterface& interface) {
  InterfaceKind kind;
  kind.model = interface.model;
  const Qor_InterfaceInfo_t info = interfaceInfo(interface.network->address(), kind);
  if (Qor_OpenInterface(&info, &interface.port) == 0) return true;
  std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
  return false;
}

uint8_t applicationOf(uint32_t port) {
  uint32_t application = 0;
  Qor_GetPropertyById(port, QOR_PROPERTY_APPLICATION_INDEX, &application);
  return static_cast<uint8_t>(application);
}

bool echoRound(uint32_t port, uint8_t command, size_t parameterBytes, uint64_t serial) {
  uint8_t parameters[64];
  uint8_t response[64];
  const std::span<uint8_t> sent(parameters, std::min(parameterBytes, sizeof parameters));
  fillPattern(sent, serial);
  uint32_t size = sizeof response;
  return Qor_CommandWithResponseEx(port, 0, command, 1, sent.data(), static_cast<uint32_t>(sent.size()), response,
                                   &size) == 0 &&
         size == sent.size() && hasPattern({response, size}, serial);
}

} // namespace qor::bench
