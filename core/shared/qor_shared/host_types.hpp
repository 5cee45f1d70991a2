// The one table of host interface types: descriptions, folding, attachment, controllers, size groups, the
// firmware's device codes and how the daemon serves each model. The library sizes its ports from it and the daemon
// picks access paths, buffers and threads from it.
#pragma once

#include <cstdint>
#include <optional>

namespace qor {

// Sizes, time-out and flags that a port gets at open from the model that carries it.
struct SizeGroup {
  const char* name;
  uint32_t queueMessageSize;
  uint32_t minMonitorBufferSize;
  uint32_t interfaceHost;
  uint32_t maxParameterLength;
  uint32_t responseTimeoutMs;
  bool property0;       // monitors run in the daemon (messages 0x31 to 0x33)
  bool parameters64Bit; // 64-bit parameter width
};

// The access path that opens a model when its descriptor does not ask for Ethernet.
enum class DevicePath : uint8_t { None, Usb, Cards94xx, Cards95xx };

// What a driver-information request (message 0x17) lists for a model.
enum class DriverInfoSource : uint8_t { Unknown, Empty, Usb, Ethernet, UsbOverEthernet, Cards94xx, Cards95xx };

// The reader the daemon runs for an open port of the model.
enum class HardwareThreadKind : uint8_t { None, Polling, Blocking };

// How the daemon recognises that a connect asks for a device it has open already.
enum class DeviceIdentity : uint8_t {
  DeviceAndController, // same device number and controller number
  Address,             // same IPv4 address
  AddressOrDevice      // same IPv4 address with the Ethernet flag, else same device number
};

// How the daemon serves a model.
struct DaemonFacts {
  uint32_t responseBufferSize; // the longest frame or FIFO read the daemon takes from the device
  DevicePath path;
  DriverInfoSource driverInfo;
  HardwareThreadKind hardwareThread;
  DeviceIdentity identity;
};

struct HostType {
  const char* description;
  uint8_t folded;        // variants of one model are treated alike under this type
  uint8_t communication; // Qor_HostCommunicationType
  uint8_t maxControllers;
  const SizeGroup* sizeGroup;
  uint8_t firmwareDeviceCodes[2]; // 0 marks an unused entry
  DaemonFacts daemon;
};

// nullptr for types above 86.
const HostType* findHostType(uint32_t type);

// The size group of an unfolded host type; empty for types above 86.
std::optional<SizeGroup> sizeGroupOf(uint32_t type);

} // namespace qor
