// Keeping a descriptor's device number current: USB devices are numbered as they are found, so the number that a
// descriptor was stored with may name another device later; the serial number does not change.
#include <algorithm>
#include <span>
#include <vector>

#include "enumeration/device_table.hpp"
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_interface_list.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint32_t kInitialisationFailed = 0x2000102;
constexpr uint32_t kDeviceNotPresent = 0x200000C;

} // namespace

extern "C" uint32_t Qor_Interface_UpdateDeviceIndex(uint32_t port, Qor_InterfaceInfo_t* info, uint32_t serialNumber) try {
  PortRef ref = PortRef::acquire(port);
  Qor_PortInfo_t* entry = ref ? &ref.entry() : nullptr;
  if (info == nullptr) return Qor_Client_ErrorHandler(entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  if (info->flags & QOR_INTERFACE_FLAG_USB_OVER_ETHERNET) return 0;
  const uint32_t attachment = Qor_Internal_GetHostCommunicationType(info);
  if (attachment == QOR_COMMUNICATION_UNKNOWN) {
    return Qor_Client_ErrorHandler(entry, kInitialisationFailed, "unknown host communication type");
  }
  if (attachment != QOR_COMMUNICATION_USB) return 0;

  std::vector<uint8_t> table(kDeviceTableRoom);
  uint32_t size = kDeviceTableRoom;
  if (uint32_t result = Qor_GetDriverInfo(info->hostInterfaceType, table.data(), &size)) return result;
  for (const DeviceTableEntry& device : parseDeviceTable(std::span(table).first(std::min(size, kDeviceTableRoom)))) {
    if (device.serialNumber == serialNumber) {
      info->deviceNumber = device.deviceNumber;
      return 0;
    }
  }
  return Qor_Client_ErrorHandler(entry, kDeviceNotPresent, "no device with serial number %u is connected",
                                 serialNumber);
} catch (...) {
  return failedCall(port);
}
