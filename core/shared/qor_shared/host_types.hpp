// The one table of host interface types: descriptions, folding, attachment, controllers, size groups, the
// firmware's device codes, how the library treats each model and how the daemon serves it. The library sizes and
// identifies its ports from it and the daemon picks access paths, buffers and threads from it. A decision about a
// model is a column here; a model singled out by name is one of the constants below.
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

// How the USB interface list takes a listed device of the model.
enum class UsbListing : uint8_t {
  Skipped,            // not listed
  AsListed,           // added as the daemon lists it
  WithNetworkSettings // opened first to read its network settings (its host type then comes from the device)
};

// The controller or interface of the same device that switches a port's relays.
enum class RelayAt : uint8_t { Nowhere, Controller1, Interface9, Interface21 };

// Monitoring a MOST interface of the model (by the real host type that the firmware reported).
enum class MostMonitor : uint8_t {
  Unsupported,
  FromDaemon, // the monitor data come from the daemon alone: no filter
  Filtered
};

// How a model switches the LIN bus pull-up resistor.
enum class LinPullUp : uint8_t {
  Unsupported,
  RelayByController, // relay 9 for controller 1, 10 for controller 2, 11 for any other
  RelayByInterface,  // relay 1 for interface 3, else relay 2
  Relay2,
  NodeProperty // node property 49
};

// How the library treats a model.
struct LibraryFacts {
  uint8_t firstInterfaceNumber;         // where opening the first available interface starts
  uint8_t interfaceTypeWithoutFirmware; // Qor_InterfaceType of a controller with no firmware to ask; 0: ask it
  UsbListing usbListing;
  RelayAt relay;
  MostMonitor mostMonitor;
  bool probesLvdsParts; // an LVDS port is asked at open whether it grabs or generates frames
  LinPullUp linPullUp;
};

struct HostType {
  const char* description;
  uint8_t folded;        // variants of one model are treated alike under this type
  uint8_t communication; // Qor_HostCommunicationType
  uint8_t maxControllers;
  const SizeGroup* sizeGroup;
  uint8_t firmwareDeviceCodes[2]; // 0 marks an unused entry
  DaemonFacts daemon;
  LibraryFacts library;
};

// Models singled out by name.
inline constexpr uint32_t kEthernetHostType = 18;       // a descriptor of it is addressed by IPv4 address
inline constexpr uint32_t kFirstGenerationGrabber = 19; // the LVDS model configured from the settings file
inline constexpr uint32_t kTypeKeptAtOpen = 28;         // never reopened under the type its firmware reports
inline constexpr uint32_t kUsbOverEthernetAdapter = 32; // lists the USB devices behind it
inline constexpr uint32_t kStartedAtOpen = 52;          // its firmware is started (command 0x03) at every open
inline constexpr uint32_t kResistorsModel = 76;         // all its interfaces are resistor interfaces

// nullptr for types above 86.
const HostType* findHostType(uint32_t type);

// The size group of an unfolded host type; empty for types above 86.
std::optional<SizeGroup> sizeGroupOf(uint32_t type);

} // namespace qor
