// The version of the programming interface, and the firmware package functions, which this platform does not
// offer: the dedicated firmware of an interface is therefore never installed from here.
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint32_t kApiMajor = 2;
constexpr uint32_t kApiMinor = 0;
constexpr uint32_t kApiBuild = 8457;

uint32_t notAvailable() { return storeError(nullptr, QOR_ERR_API_FUNCTION_NOT_AVAILABLE, ""); }

} // namespace

extern "C" {

uint32_t Qor_InterfaceConfig_GetApiVersion(uint32_t* major, uint32_t* minor, uint32_t* build) try {
  if (major == nullptr || minor == nullptr || build == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  *major = kApiMajor;
  *minor = kApiMinor;
  *build = kApiBuild;
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_GetApiVersion(uint32_t* major, uint32_t* minor, uint32_t* build) try {
  return Qor_InterfaceConfig_GetApiVersion(major, minor, build);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetFirmwarePackageVersion_Installed(uint32_t*, uint32_t*, uint32_t*) try {
  return notAvailable();
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetFirmwarePackageVersion_Tested(uint32_t*, uint32_t*, uint32_t*) try {
  return notAvailable();
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetFirmwarePackageFilename(char*, uint32_t*) try {
  return notAvailable();
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetFirmwarePackageBinPath(char*, uint32_t*) try {
  return notAvailable();
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_GetFirmwarePackageVersion_Installed(uint32_t* major, uint32_t* minor, uint32_t* build) try {
  return Qor_InterfaceConfig_GetFirmwarePackageVersion_Installed(major, minor, build);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_GetFirmwarePackageVersion_Tested(uint32_t* major, uint32_t* minor, uint32_t* build) try {
  return Qor_InterfaceConfig_GetFirmwarePackageVersion_Tested(major, minor, build);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_UpdateToDedicatedFirmware(uint32_t port) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  uint32_t major = 0, minor = 0, build = 0;
  return Qor_GetFirmwarePackageVersion_Installed(&major, &minor, &build);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
