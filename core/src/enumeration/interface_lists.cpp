// The interface lists of the cards and USB devices, the whole list, and the list that the rebuild of the interface
// configuration file takes.
#include "enumeration/interface_lists.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "enumeration/connected_interfaces.hpp"
#include "ports/control_requests.hpp"
#include "enumeration/device_interfaces.hpp"
#include "enumeration/device_table.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"
#include "qor_helpers.h"

namespace qor::client {
namespace {

constexpr uint32_t kCardTableRoom = 1024;
constexpr uint32_t kCardRefresh = 2;
constexpr uint32_t kUsbRefresh = 1;
constexpr uint32_t kAllUsbDevices = 11;
constexpr uint32_t kSerialPorts = 53;
// One question per card family; the daemon answers each with the devices of the family's access path.
constexpr uint32_t kCardTypes[] = {1, 3, 5, 7, 9, 21, 22, 56, 78};
// The card paths give the daemon time to close a device before it is opened again.
constexpr auto kCardSettle = std::chrono::milliseconds(120);
constexpr uint8_t kOpenQuietly = 7; // no automatic configuration, boot-loader start or dedicated firmware
constexpr uint32_t kMaxElementSize = sizeof(Qor_InterfaceData_t);

uint32_t controllersOf(uint32_t hostInterfaceType) {
  uint8_t controllers = 0;
  Qor_Internal_GetMaxNumberOfControllers(hostInterfaceType, &controllers);
  return controllers;
}

uint32_t unknownModel(uint32_t hostInterfaceType) {
  return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "host interface type '0x%x' is unknown",
                          hostInterfaceType);
}

Qor_InterfaceData_t deviceRecord(const DeviceTableEntry& entry, uint32_t communicationType) {
  Qor_InterfaceData_t device{};
  device.communicationType = static_cast<uint8_t>(communicationType);
  device.hostInterfaceType = entry.hostInterfaceType;
  device.serialNumber = entry.serialNumber;
  device.deviceNumber = entry.deviceNumber;
  device.position = static_cast<uint8_t>(entry.position);
  return device;
}

uint32_t askDeviceTable(uint32_t hostInterfaceType, uint32_t room, std::vector<DeviceTableEntry>& entries) {
  std::vector<uint8_t> table(room);
  uint32_t size = room;
  if (uint32_t result = Qor_GetDriverInfo(hostInterfaceType, table.data(), &size)) return result;
  entries = parseDeviceTable(std::span(table).first(std::min(size, room)));
  return 0;
}

// The card families whose devices carry network settings: those that the 94xx and 95xx paths list.
bool carriesNetworkSettings(uint32_t cardType) {
  const HostType* host = findHostType(cardType);
  return host != nullptr && (host->daemon.driverInfo == DriverInfoSource::Cards94xx ||
                             host->daemon.driverInfo == DriverInfoSource::Cards95xx);
}

UsbListing usbListingOf(uint32_t type) {
  const HostType* host = findHostType(type);
  return host != nullptr ? host->library.usbListing : UsbListing::Skipped;
}

// The devices of one card type; the type's records only when none of its devices failed.
uint32_t collectCardType(uint32_t cardType, std::vector<Qor_InterfaceData_t>& list) {
  std::vector<DeviceTableEntry> entries;
  if (uint32_t result = askDeviceTable(cardType, kCardTableRoom, entries)) return result;
  std::vector<Qor_InterfaceData_t> records;
  uint32_t result = 0;
  for (const DeviceTableEntry& entry : entries) {
    const uint32_t controllers = controllersOf(entry.hostInterfaceType);
    if (controllers == 0) {
      result = unknownModel(entry.hostInterfaceType);
      continue;
    }
    Qor_InterfaceData_t device = deviceRecord(entry, entry.communicationType);
    if (carriesNetworkSettings(cardType)) {
      const uint32_t read = readNetworkSettings(device);
      std::this_thread::sleep_for(kCardSettle);
      if (read != 0) {
        result = read;
        continue;
      }
    }
    const size_t room = kListRoom - list.size();
    if (uint32_t added = addDeviceInterfaces(libraryControllers(), device, controllers, room, records)) result = added;
  }
  if (result == 0) list.insert(list.end(), records.begin(), records.end());
  return result;
}

uint32_t collectAll(uint32_t flags, size_t room, std::vector<Qor_InterfaceData_t>& list) {
  if (uint32_t result = collectPciPxi(list)) return result;
  if (list.size() > room) return 0;
  if (uint32_t result = collectUsb(list)) return result;
  if (list.size() > room || (flags & 1)) return 0;
  constexpr uint32_t kEveryEthernetDevice = QOR_ETHERNET_LIST_SETTINGS_ADAPTERS | QOR_ETHERNET_LIST_USB_OVER_ETHERNET;
  return collectEthernet(kEveryEthernetDevice, nullptr, list);
}

} // namespace

uint32_t readNetworkSettings(Qor_InterfaceData_t& device) {
  Qor_InterfaceInfo_t descriptor{};
  descriptor.hostInterfaceType = device.hostInterfaceType;
  descriptor.controllerNumber = 1;
  descriptor.interfaceNumber = 1;
  descriptor.deviceNumber = device.deviceNumber;
  uint32_t port = QOR_NO_PORT;
  if (uint32_t result = Qor_OpenInterface2(kOpenQuietly, &descriptor, &port)) return result;
  EthernetDeviceRecord settings{};
  const uint32_t result = Qor_Interface_GetEthernetParameters(port, &settings);
  Qor_CloseInterface(port);
  if (result != 0) return result;
  device.hostInterfaceType = settings.hostInterfaceType;
  device.ipAddress = settings.address;
  device.netmask = settings.netmask;
  device.gateway = settings.gateway;
  device.tcpPort = settings.tcpPort;
  return 0;
}

uint32_t collectPciPxi(std::vector<Qor_InterfaceData_t>& list) {
  if (uint32_t result = refreshDriverInfo(kCardRefresh)) return result;
  uint32_t result = 0;
  for (uint32_t cardType : kCardTypes) {
    if (uint32_t failed = collectCardType(cardType, list)) result = failed;
  }
  return result;
}

uint32_t collectUsb(std::vector<Qor_InterfaceData_t>& list) {
  if (uint32_t result = refreshDriverInfo(kUsbRefresh)) return result;
  std::vector<DeviceTableEntry> entries;
  if (uint32_t result = askDeviceTable(kAllUsbDevices, kDeviceTableRoom, entries)) return result;
  std::vector<Qor_InterfaceData_t> records;
  uint32_t result = 0;
  for (const DeviceTableEntry& entry : entries) {
    const uint32_t controllers = controllersOf(entry.hostInterfaceType);
    if (controllers == 0) {
      result = unknownModel(entry.hostInterfaceType);
      continue;
    }
    Qor_InterfaceData_t device = deviceRecord(entry, QOR_COMMUNICATION_USB);
    const UsbListing listing = usbListingOf(entry.hostInterfaceType);
    if (listing == UsbListing::Skipped) continue;
    if (listing == UsbListing::WithNetworkSettings) {
      if (uint32_t read = readNetworkSettings(device)) {
        result = read;
        continue;
      }
    }
    const size_t room = kListRoom - list.size();
    if (uint32_t added = addDeviceInterfaces(libraryControllers(), device, controllers, room, records)) result = added;
  }
  if (result == 0) list.insert(list.end(), records.begin(), records.end());
  return result;
}

uint32_t checkListArguments(uint32_t* count, const void* array, uint32_t elementSize) {
  if (count == nullptr) return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  const uint32_t room = *count;
  *count = 0;
  if (array == nullptr && room != 0) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  if (elementSize > kMaxElementSize) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER,
                            "maximum sizeo of Qor_InterfaceData_t: %u bytes", kMaxElementSize);
  }
  *count = room;
  return 0;
}

uint32_t copyOut(std::span<const Qor_InterfaceData_t> list, uint32_t* count, void* array, uint32_t elementSize) {
  const size_t written = std::min<size_t>(*count, list.size());
  auto* out = static_cast<uint8_t*>(array);
  for (size_t i = 0; i < written; ++i) memcpy(out + i * elementSize, &list[i], elementSize);
  *count = static_cast<uint32_t>(written);
  if (written < list.size()) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "more interfaces are available");
  }
  return 0;
}

uint32_t connectedInterfaces(uint32_t room, std::vector<Qor_InterfaceData_t>& interfaces) {
  std::vector<Qor_InterfaceData_t> list;
  if (uint32_t result = collectAll(0, room, list)) return result;
  if (list.size() > room) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "more interfaces are available");
  }
  interfaces = std::move(list);
  return 0;
}

} // namespace qor::client

using namespace qor::client;

extern "C" {

uint32_t Qor_Interface_GetInterfaceList(uint32_t flags, uint32_t* count, void* array, uint32_t elementSize) try {
  if (flags > 1) {
    if (count != nullptr) *count = 0;
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_FLAG, "%s", "");
  }
  if (uint32_t result = checkListArguments(count, array, elementSize)) return result;
  std::vector<Qor_InterfaceData_t> list;
  const uint32_t result = collectAll(flags, *count, list);
  const uint32_t copied = copyOut(list, count, array, elementSize);
  return result != 0 ? result : copied;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_GetInterfaceList_PciPxi(uint32_t* count, void* array, uint32_t elementSize) try {
  if (uint32_t result = checkListArguments(count, array, elementSize)) return result;
  std::vector<Qor_InterfaceData_t> list;
  const uint32_t result = collectPciPxi(list);
  const uint32_t copied = copyOut(list, count, array, elementSize);
  return result != 0 ? result : copied;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_GetInterfaceList_Usb(uint32_t* count, void* array, uint32_t elementSize) try {
  if (uint32_t result = checkListArguments(count, array, elementSize)) return result;
  std::vector<Qor_InterfaceData_t> list;
  const uint32_t result = collectUsb(list);
  return result != 0 ? (*count = 0, result) : copyOut(list, count, array, elementSize);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_GetInterfaceList_Serial(uint32_t, const void*, uint32_t* count, void* array,
                                               uint32_t elementSize) try {
  if (uint32_t result = checkListArguments(count, array, elementSize)) return result;
  // This platform asks no serial ports of the daemon: the answer is always empty.
  uint32_t size = 0;
  const uint32_t result = Qor_GetDriverInfo(kSerialPorts, nullptr, &size);
  *count = 0;
  return result;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Serial_GetComPorts(uint32_t*, void*) try {
  return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_FUNCTION_NOT_AVAILABLE, "%s", "");
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
