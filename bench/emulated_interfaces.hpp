// Emulated Ethernet interfaces on loopback with the daemon running, for the benchmarks that measure the road.
#pragma once

#include <memory>
#include <string>

#include "qor_api.h"
#include "qor_emulator/device.hpp"
#include "qor_emulator/tcp_front_end.hpp"

namespace qor::bench {

// A CAN interface of an Ethernet model with a 500 ms response time-out, on 127.0.0.(2 + index).
struct EmulatedInterface {
  std::unique_ptr<emulator::Device> device;
  std::unique_ptr<emulator::TcpFrontEnd> network;
  uint32_t port = QOR_NO_PORT;
};

EmulatedInterface startInterface(int index);

// Opens the interface through the library; false (with the reason printed) when the open fails.
bool openInterface(EmulatedInterface& interface);

} // namespace qor::bench
