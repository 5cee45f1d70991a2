// The USB devices the platform library lists: its raw list of controllers grouped into devices, and the driver
// information (message 0x17) the clients read from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor::daemon {

// What the library's device list takes: a 16-byte header and 16 bytes per controller.
inline constexpr uint32_t kUsbRawListSize = 2060;
inline constexpr size_t kUsbMaxDevices = 128;
inline constexpr size_t kUsbMaxControllers = 4;

struct UsbControllerSlot {
  bool present = false;
  uint32_t serialNumber = 0;
  uint32_t libraryValue = 0;
  uint32_t index = 0; // with the driver device type, addresses the controller in every library call
};

struct UsbDeviceRecord {
  uint32_t driverType = 0;
  uint32_t deviceNumber = 0; // 1, 2, ... per driver device type, in order of first appearance
  uint32_t baseSerial = 0;
  uint32_t controllerCount = 0;
  std::array<UsbControllerSlot, kUsbMaxControllers> slots{}; // by controller number - 1
};

struct UsbDeviceTable {
  uint32_t libraryVersion = 0; // the version word of the raw list
  uint32_t rawControllers = 0; // as many as the list holds, whatever its count says
  std::vector<UsbDeviceRecord> devices;

  const UsbDeviceRecord* find(uint32_t driverType, uint32_t deviceNumber) const;
  const UsbDeviceRecord* findBySerial(uint32_t baseSerial) const;
};

// Groups the raw list (what the library wrote into kUsbRawListSize bytes) into devices: a controller belongs to the
// device of its driver type whose serial numbers divided by the group size (4 for types 4 and 5, else 1) equal its
// own, in slot serial modulo group size.
UsbDeviceTable buildUsbDeviceTable(std::span<const uint8_t> rawList);

// One entry of the driver information per device (fixed layout, read by the clients).
struct UsbDriverInfoEntry {
  uint32_t hostInterfaceType; // +0
  uint32_t communicationType; // +4, 3 (USB) or 5 (USB over Ethernet)
  uint32_t deviceNumber;      // +8
  uint32_t serialNumber;      // +12, the device's base serial number
  uint32_t reserved16;        // +16
  uint32_t reserved20;        // +20
  uint8_t position;           // +24, the device's place in the device table, from 1
  uint8_t reserved25[7];      // +25
};
static_assert(sizeof(UsbDriverInfoEntry) == 32);
static_assert(offsetof(UsbDriverInfoEntry, position) == 24);

// The driver information: u32 0, u32 0, u32 number of entries, the entries; devices grouped by driver type in order
// of the type's first appearance, each type's devices in table order.
inline constexpr uint32_t kCommunicationUsb = 3;
inline constexpr uint32_t kCommunicationUsbOverEthernet = 5;
std::vector<uint8_t> usbDriverInformation(const UsbDeviceTable& table, uint32_t communicationType = kCommunicationUsb);

} // namespace qor::daemon
