// Facts of a model or of a port's device that the lists and their callers use.
#include "open/firmware_identity.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"

namespace {
constexpr uint8_t kDeviceIdentifier = 2;
}

extern "C" {

uint32_t Qor_Interface_InterfaceType_NoFirmware(const Qor_InterfaceInfo_t* info) try {
  return info == nullptr ? 0 : qor::client::interfaceTypeWithoutFirmware(info->hostInterfaceType);
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT, 0u);
}

uint32_t Qor_Interface_GetMaxNumberOfControllers(uint32_t hostInterfaceType, uint8_t* count) try {
  if (count == nullptr) return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  return Qor_Internal_GetMaxNumberOfControllers(hostInterfaceType, count);
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_GetSerialNumber(uint32_t port, uint32_t* serialNumber) try {
  return Qor_GetPropertyById(port, kDeviceIdentifier, serialNumber);
} catch (...) {
  return qor::client::failedCall(port);
}

} // extern "C"
