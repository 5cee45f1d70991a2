// The automatic configuration at open: the file's settings of the port's interface, applied by the bus type's
// applier when the interface's "EnableAutomaticConfiguration" is not 0.
#include <string>

#include "startup/error_store.hpp"
#include "config_file/interface_config.hpp"
#include "qor_shared/interface_identity.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "qor_xml.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

using Applier = uint32_t (*)(uint32_t port, const char* path, const char* identifier);

Applier applierOf(uint32_t interfaceType) {
  switch (interfaceType) {
    case QOR_INTERFACE_CAN: return Qor_InterfaceConfig_Can_Apply;
    case QOR_INTERFACE_LIN: return Qor_InterfaceConfig_Lin_Apply;
    case QOR_INTERFACE_LVDS: return Qor_InterfaceConfig_Lvds_Apply;
    case QOR_INTERFACE_FLEXRAY: return Qor_InterfaceConfig_FlexRay_Apply;
    default: return nullptr;
  }
}

} // namespace

extern "C" uint32_t Qor_InterfaceConfig_Apply(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  // An incomplete process configuration names no file, and a port still opens without one.
  const std::optional<std::string> path = configuredFilePath();
  if (!path) return 0;
  bool readable = false;
  if (uint32_t result = probeFile(&ref.entry(), *path, readable)) return result;
  if (!readable || !(Qor_GetLockStatus(port) & QOR_LOCK_INTERFACE)) return 0;

  // The type first: a port of a type without applier has no identifier to build either.
  const uint32_t interfaceType = Qor_GetInterfaceType(port);
  const Applier applier = applierOf(interfaceType);
  if (applier == nullptr) return 0;
  uint32_t serial = 0;
  uint32_t communicationType = 0;
  Qor_InterfaceInfo_t info{};
  if (uint32_t result = Qor_GetPropertyById(port, QOR_PROPERTY_DEVICE_IDENTIFIER, &serial)) return result;
  if (uint32_t result = Qor_GetPropertyById(port, QOR_PROPERTY_COMMUNICATION_TYPE, &communicationType)) return result;
  if (uint32_t result = Qor_GetInterfaceInfo(port, &info)) return result;
  const std::string identifier = *qor::interfaceIdentifier(serial, communicationType, interfaceType,
                                                           info.controllerNumber, info.interfaceNumber);

  const char* const names[] = {QOR_XML_ENABLE_AUTOMATIC_CONFIGURATION};
  uint32_t enabled = 0;
  const uint32_t result = Qor_Xml_NodeValues_GetByAttribute_U32(path->c_str(), QOR_XML_INTERFACE, QOR_XML_ID,
                                                                identifier.c_str(), 1, names, &enabled);
  if (result == QOR_XML_ERR_NODE_NOT_FOUND) return 0;
  if (result != 0) return storeError(&ref.entry(), result, Qor_Xml_GetLastErrorDescription());
  return enabled == 0 ? 0 : applier(port, path->c_str(), identifier.c_str());
} catch (...) {
  return failedCall(port);
}
