// Keeping a descriptor's device number current: USB devices are numbered as they are found, so the number that a
// descriptor was stored with may name another device later; the serial number does not change.
#include <algorithm>
#include <cstring>
#include <vector>

#include "error_store.hpp"
#include "port_table.hpp"
#include "qor_api.h"
#include "qor_interface_list.h"

using namespace qor::client;

namespace {

constexpr uint32_t kInitialisationFailed = 0x2000102;
constexpr uint32_t kDeviceNotPresent = 0x200000C;

// The daemon's device table: three u32 (the third counts the entries), then 32 bytes per device.
constexpr uint32_t kDeviceTableRoom = 4108;
constexpr size_t kTableHeader = 12;
constexpr size_t kCountOffset = 8;
constexpr size_t kEntrySize = 32;
constexpr size_t kDeviceNumberOffset = 8;
constexpr size_t kSerialOffset = 12;

uint32_t readU32(const uint8_t* at) {
  uint32_t value = 0;
  memcpy(&value, at, sizeof value);
  return value;
}

} // namespace

extern "C" uint32_t Qor_Interface_UpdateDeviceIndex(uint32_t port, Qor_InterfaceInfo_t* info, uint32_t serialNumber) {
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
  // Entries only as far as the daemon's data reach, whatever its count says.
  const size_t fitting = size >= kTableHeader ? (size - kTableHeader) / kEntrySize : 0;
  const size_t count = std::min<size_t>(size >= kTableHeader ? readU32(&table[kCountOffset]) : 0, fitting);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* device = &table[kTableHeader + i * kEntrySize];
    if (readU32(device + kSerialOffset) == serialNumber) {
      info->deviceNumber = readU32(device + kDeviceNumberOffset);
      return 0;
    }
  }
  return Qor_Client_ErrorHandler(entry, kDeviceNotPresent, "no device with serial number %u is connected",
                                 serialNumber);
}
