// Facts of a model or of a port's device that the lists and their callers use.
#include "open/firmware_identity.hpp"
#include "qor_api.h"
#include "qor_helpers.h"

namespace {
constexpr uint8_t kDeviceIdentifier = 2;
}

extern "C" {

uint32_t Qor_Interface_InterfaceType_NoFirmware(const Qor_InterfaceInfo_t* info) {
  return info == nullptr ? 0 : qor::client::interfaceTypeWithoutFirmware(info->hostInterfaceType);
}

uint32_t Qor_Interface_GetMaxNumberOfControllers(uint32_t hostInterfaceType, uint8_t* count) {
  if (count == nullptr) return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  return Qor_Internal_GetMaxNumberOfControllers(hostInterfaceType, count);
}

uint32_t Qor_Interface_GetSerialNumber(uint32_t port, uint32_t* serialNumber) {
  return Qor_GetPropertyById(port, kDeviceIdentifier, serialNumber);
}

} // extern "C"
