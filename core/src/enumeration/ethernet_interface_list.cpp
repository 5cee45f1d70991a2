// The interface list of the Ethernet devices that answer discovery, with the USB devices behind USB-over-Ethernet
// adapters.
#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "ports/control_requests.hpp"
#include "enumeration/device_interfaces.hpp"
#include "enumeration/device_table.hpp"
#include "enumeration/interface_lists.hpp"
#include "qor_api.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"
#include "qor_protocol.h"
#include "qor_helpers.h"

namespace qor::client {
namespace {

constexpr uint32_t kFlagsValid = QOR_ETHERNET_LIST_SETTINGS_ADAPTERS | QOR_ETHERNET_LIST_USB_OVER_ETHERNET;

// The discovery records as far as the daemon's data reach, whatever its count says.
std::vector<EthernetDeviceRecord> parseDiscovery(std::span<const uint8_t> data) {
  const std::optional<uint32_t> count = readU32LE(data, 0);
  if (!count) return {};
  const size_t fitting = (data.size() - sizeof *count) / sizeof(EthernetDeviceRecord);
  std::vector<EthernetDeviceRecord> records(std::min<size_t>(*count, fitting));
  if (!records.empty()) memcpy(records.data(), data.data() + sizeof *count, records.size() * sizeof records[0]);
  return records;
}

Qor_InterfaceData_t deviceRecord(const EthernetDeviceRecord& found) {
  Qor_InterfaceData_t device{};
  device.communicationType = QOR_COMMUNICATION_ETHERNET;
  device.hostInterfaceType = found.hostInterfaceType;
  device.serialNumber = found.serialNumber;
  device.deviceNumber = found.deviceNumber;
  device.ipAddress = found.address;
  device.tcpPort = found.tcpPort;
  device.netmask = found.netmask;
  device.gateway = found.gateway;
  return device;
}

// The USB devices behind one USB-over-Ethernet adapter, reached through its address and port.
uint32_t addDevicesBehind(const EthernetDeviceRecord& adapter, size_t room, std::vector<Qor_InterfaceData_t>& list) {
  std::vector<uint8_t> table(kDeviceTableRoom);
  uint32_t size = kDeviceTableRoom;
  if (uint32_t result = usbOverEthernetDriverInfo(adapter.address, table.data(), &size)) return result;
  uint32_t result = 0;
  for (const DeviceTableEntry& entry : parseDeviceTable(std::span(table).first(std::min(size, kDeviceTableRoom)))) {
    uint8_t controllers = 0;
    Qor_Internal_GetMaxNumberOfControllers(entry.hostInterfaceType, &controllers);
    if (controllers == 0) {
      result = Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "host interface type '0x%x' is unknown",
                                entry.hostInterfaceType);
      continue;
    }
    Qor_InterfaceData_t device = deviceRecord(adapter);
    device.communicationType = QOR_COMMUNICATION_USB_OVER_ETHERNET;
    device.hostInterfaceType = entry.hostInterfaceType;
    device.serialNumber = entry.serialNumber;
    device.deviceNumber = entry.deviceNumber;
    device.adapterSerialNumber = adapter.serialNumber;
    if (uint32_t added = addDeviceInterfaces(libraryControllers(), device, controllers, room, list)) result = added;
  }
  return result;
}

} // namespace

uint32_t collectEthernet(uint32_t flags, const Qor_NetworkAdapter_t* adapter, std::vector<Qor_InterfaceData_t>& list) {
  Qor_NetworkAdapter_t adapters[QOR_DRIVER_INFO_MAX_ADAPTERS];
  uint32_t adapterCount = QOR_DRIVER_INFO_MAX_ADAPTERS;
  if (flags & QOR_ETHERNET_LIST_SETTINGS_ADAPTERS) {
    if (uint32_t result = Qor_Ethernet_GetScanableAdaptersFromSettingsFile(&adapterCount, adapters)) return result;
    if (adapterCount == 0) return 0;
  } else {
    adapters[0] = *adapter;
    adapterCount = 1;
  }
  std::vector<uint8_t> data(QOR_ETHERNET_DRIVER_INFO_SIZE);
  uint32_t size = QOR_ETHERNET_DRIVER_INFO_SIZE;
  if (uint32_t result = ethernetDriverInfo(adapterCount, adapters, data.data(), &size)) return result;
  std::vector<Qor_InterfaceData_t> records;
  uint32_t result = 0;
  for (const EthernetDeviceRecord& found :
       parseDiscovery(std::span(data).first(std::min(size, QOR_ETHERNET_DRIVER_INFO_SIZE)))) {
    // Discovery reaches controller 1 of a device alone.
    const size_t room = kListRoom - list.size();
    if (uint32_t added = addDeviceInterfaces(libraryControllers(), deviceRecord(found), 1, room, records)) {
      result = added;
    }
    if ((flags & QOR_ETHERNET_LIST_USB_OVER_ETHERNET) && found.hostInterfaceType == kUsbOverEthernetAdapter) {
      if (uint32_t added = addDevicesBehind(found, room, records)) result = added;
    }
  }
  if (result == 0) list.insert(list.end(), records.begin(), records.end());
  return result;
}

} // namespace qor::client

using namespace qor::client;

extern "C" uint32_t Qor_Interface_GetInterfaceList_Ethernet(uint32_t flags, uint32_t* count, void* array,
                                                            uint32_t elementSize, const Qor_NetworkAdapter_t* adapter) try {
  if (flags & ~kFlagsValid) {
    if (count != nullptr) *count = 0;
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_FLAG, "%s", "");
  }
  if (uint32_t result = checkListArguments(count, array, elementSize)) return result;
  if (!(flags & QOR_ETHERNET_LIST_SETTINGS_ADAPTERS) && adapter == nullptr) {
    *count = 0;
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::vector<Qor_InterfaceData_t> list;
  if (uint32_t result = collectEthernet(flags, adapter, list)) {
    *count = 0;
    return result;
  }
  return copyOut(list, count, array, elementSize);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}
