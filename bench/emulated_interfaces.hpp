// Emulated Ethernet interfaces on loopback with the daemon running, for the benchmarks that measure the road.
#pragma once

#include <memory>
#include <string>

#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace qor::bench {

// One interface of an emulated device on 127.0.0.(2 + index), reached over TCP.
struct EmulatedInterface {
  std::unique_ptr<emulator::Device> device;
  std::unique_ptr<emulator::TcpFrontEnd> network;
  uint32_t model = 0;
  uint32_t port = QOR_NO_PORT;
};

// The model, the firmware's code for it and the firmware's code of interface 1; by default a CAN interface of an
// Ethernet model with a 500 ms response time-out.
struct InterfaceKind {
  uint32_t model = 58;
  uint32_t deviceCode = 61;
  uint8_t firmwareInterface = 2;
};

EmulatedInterface startInterface(int index, InterfaceKind kind = {});

// What the library is given to open the interface of an emulated device at this loopback address.
Qor_InterfaceInfo_t interfaceInfo(const std::string& address, InterfaceKind kind = {});

// Opens the interface through the library; false (with the reason printed) when the open fails.
bool openInterface(EmulatedInterface& interface);

} // namespace qor::bench
