// What both stand-ins answer with nothing attached: a device list without controllers, and no controller or
// adapter to address.
#pragma once

#include <cstring>

#include "qor_usb_platform.h"

namespace qor::usb {

inline uint32_t emptyDeviceList(void* buffer, uint32_t size, uint32_t version) {
  if (buffer == nullptr) return QOR_USB_INVALID_PARAMETER;
  if (size < sizeof(QorUSB_DriverInfo_Header_t)) return QOR_USB_MEMORY_UNDERSIZED;
  memset(buffer, 0, size);
  const QorUSB_DriverInfo_Header_t header{version, 0, 0, 0};
  memcpy(buffer, &header, sizeof header);
  return QOR_USB_NO_DEVICE;
}

// The pointers a call writes through or reads from must be given, even when there is nothing to address.
template <class... Pointers>
uint32_t noDevice(Pointers... required) {
  return (... && (required != nullptr)) ? QOR_USB_NO_DEVICE : QOR_USB_INVALID_PARAMETER;
}

} // namespace qor::usb
