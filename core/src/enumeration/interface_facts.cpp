// Facts of a model or of a port's device that the lists and their callers use.
#include "qor_api.h"
#include "qor_helpers.h"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"

extern "C" {

uint32_t Qor_Interface_InterfaceType_NoFirmware(const Qor_InterfaceInfo_t* info) try {
  const qor::HostType* host = info == nullptr ? nullptr : qor::findHostType(info->hostInterfaceType);
  return host == nullptr ? 0 : host->library.interfaceTypeWithoutFirmware;
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
  return Qor_GetPropertyById(port, QOR_PROPERTY_DEVICE_IDENTIFIER, serialNumber);
} catch (...) {
  return qor::client::failedCall(port);
}

} // extern "C"
