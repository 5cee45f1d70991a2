// Opening a device by its first interface that exists: the models number their interfaces from 1, 20, 21 or 22.
#include "qor_api.h"
#include "startup/exported_call.hpp"

namespace {

constexpr uint32_t kLastInterfaceNumber = 22;
constexpr uint32_t kOpenFlags = 5; // no automatic configuration, no dedicated firmware

uint32_t firstInterfaceNumber(uint32_t hostInterfaceType) {
  switch (hostInterfaceType) {
    case 22: case 23: case 24: case 25: case 26: case 27: case 29: case 30: case 31: case 32: case 34: case 38:
    case 40: case 41: case 44: case 45: case 46: case 47: case 48: case 49: case 50: case 51: case 74: case 78:
    case 79: case 80: case 81: case 82: case 83: case 84: case 85: case 86: return 22;
    case 58: case 59: case 60: case 61: case 62: case 63: case 75: case 76: case 77: return 21;
    case 72: return 20;
    default: return 1;
  }
}

} // namespace

extern "C" uint32_t Qor_Interface_OpenFirstAvailableInterface(Qor_InterfaceInfo_t* info, uint32_t* port) try {
  if (info == nullptr || port == nullptr) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  *port = QOR_NO_PORT;
  if (info->hostInterfaceType >= QOR_HOST_INTERFACE_TYPE_COUNT) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "host interface type '0x%x' is unknown",
                            info->hostInterfaceType);
  }
  uint32_t result = 0;
  for (uint32_t number = firstInterfaceNumber(info->hostInterfaceType); number <= kLastInterfaceNumber; ++number) {
    info->interfaceNumber = static_cast<uint8_t>(number);
    result = Qor_OpenInterface2(kOpenFlags, info, port);
    if (result != QOR_ERR_API_INVALID_INTERFACE) break;
  }
  return result;
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT);
}
