// Emulated Ethernet interfaces on loopback with the daemon running, for the benchmarks that measure the road.
#pragma once

#include <sys/types.h>

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

// Interfaces 0 to count - 1 whose devices echo the parameters of command as its response (the first parameter byte
// repeated as the control byte), served by a process of their own, as a device is a peer of its own: the process
// ends with the object. Started before the library is used.
class EchoDevices {
 public:
  EchoDevices(int count, uint8_t command);
  ~EchoDevices();
  EchoDevices(const EchoDevices&) = delete;
  EchoDevices& operator=(const EchoDevices&) = delete;

  pid_t pid() const { return process_; }

 private:
  pid_t process_ = -1;
  int keepAlive_ = -1; // the process ends when this pipe end closes
};

// Opens the interface through the library; false (with the reason printed) when the open fails.
bool openInterface(EmulatedInterface& interface);

// The application index of an open port: the App byte of the frames its device sends to it.
uint8_t applicationOf(uint32_t port);

// One command to an echo device (EchoDevices, or a firmware that answers alike): parameterBytes (at most 64) of the
// serial's pattern go out with control byte 1; true when exactly they came back.
bool echoRound(uint32_t port, uint8_t command, size_t parameterBytes, uint64_t serial);

} // namespace qor::bench
