// Opening another interface of a port's controller by its type, as the controller's firmware lists them.
#include "open/firmware_identity.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"
#include "qor_helpers.h"

using namespace qor::client;

namespace {

constexpr uint32_t kIdentityCapacity = 32756;
constexpr uint32_t kOpenFlags = 7; // no automatic configuration, boot-loader start or dedicated firmware

uint32_t openByType(uint32_t port, uint8_t interfaceType, uint32_t instance, uint32_t* newPort) {
  if (newPort == nullptr) return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  *newPort = QOR_NO_PORT;
  Qor_InterfaceInfo_t info{};
  if (uint32_t result = Qor_GetInterfaceInfo(port, &info)) return result;
  FirmwareIdentity identity;
  if (uint32_t result = queryIdentity(port, nullptr, 0, kIdentityCapacity, identity)) return result;
  uint32_t matches = 0;
  for (const auto& [code, number] : identity.interfaces) {
    if (Qor_Internal_TranslateInterfaceType_Fw2Api(code) != interfaceType || matches++ != instance) continue;
    info.interfaceNumber = number;
    return Qor_OpenInterface2(kOpenFlags, &info, newPort);
  }
  return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_INTERFACE, "the interface does not exist on the device");
}

} // namespace

extern "C" {

uint32_t Qor_Interface_GetPortHandleByInterfaceType(uint32_t port, uint8_t interfaceType, uint32_t* newPort) try {
  return openByType(port, interfaceType, 0, newPort);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Interface_GetPortHandleByInterfaceTypeAndInstance(uint32_t port, uint8_t interfaceType, uint8_t instance,
                                                               uint32_t* newPort) try {
  return openByType(port, interfaceType, instance, newPort);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
