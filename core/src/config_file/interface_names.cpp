// Interface identifiers and the names that the interface configuration file gives interfaces.
#include <cstring>
#include <string>

#include "startup/error_store.hpp"
#include "config_file/interface_config.hpp"
#include "qor_shared/interface_identity.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "qor_xml.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint32_t kInvalidInterface = 0x2000009;
constexpr uint32_t kNotAllowed = 0x2000208;

uint32_t unknownInterfaceType(uint32_t type) {
  return Qor_Client_ErrorHandler(nullptr, kInvalidInterface,
                                 "unknown interface type (0x%02x) - could not build interface id", type);
}

uint32_t xmlFailure(uint32_t code) { return storeError(nullptr, code, Qor_Xml_GetLastErrorDescription()); }

// The identifier of a listed interface and the file that names it.
uint32_t locate(const Qor_InterfaceData_t& record, std::string& identifier, std::string& path) {
  if (uint32_t result = Qor_Internal_CheckHostInterfaceType(record.hostInterfaceType)) {
    return Qor_Client_ErrorHandler(nullptr, result, "host interface type '0x%x' is unknown", record.hostInterfaceType);
  }
  if (uint32_t result = Qor_Internal_CheckInterfaceType(record.interfaceType)) {
    return Qor_Client_ErrorHandler(nullptr, result, "interface type '0x%x' is unknown", record.interfaceType);
  }
  std::optional<std::string> built = qor::interfaceIdentifier(record);
  if (!built) return unknownInterfaceType(record.interfaceType);
  identifier = std::move(*built);
  return configFilePath(nullptr, path);
}

} // namespace

extern "C" {

uint32_t Qor_Interface_BuildInterfaceId(uint32_t serialNumber, uint32_t communicationType, uint8_t interfaceType,
                                        uint8_t controllerNumber, uint8_t interfaceNumber, uint32_t* length,
                                        char* text) try {
  if (length == nullptr || text == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  const std::optional<std::string> identifier =
      qor::interfaceIdentifier(serialNumber, communicationType, interfaceType, controllerNumber, interfaceNumber);
  if (!identifier) return unknownInterfaceType(interfaceType);
  if (identifier->size() >= *length) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL, "interface id needs %zu bytes",
                                   identifier->size() + 1);
  }
  memcpy(text, identifier->c_str(), identifier->size() + 1);
  *length = static_cast<uint32_t>(identifier->size());
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_Name_Get(const Qor_InterfaceData_t* interface, uint32_t* size, char* name) try {
  if (interface == nullptr || size == nullptr || name == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::string identifier, path;
  if (uint32_t result = locate(*interface, identifier, path)) return result;
  if (uint32_t result = Qor_Xml_InterfaceConfig_InterfaceName_Get(path.c_str(), identifier.c_str(), *size, name)) {
    return xmlFailure(result);
  }
  *size = static_cast<uint32_t>(strlen(name));
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_Interface_Name_Set(const Qor_InterfaceData_t* interface, const char* name) try {
  if (interface == nullptr || name == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::string identifier, path;
  if (uint32_t result = locate(*interface, identifier, path)) return result;
  // The XML library refuses a name in use within its lock, so that two processes cannot both take it; which
  // interface has it is asked afterwards.
  const uint32_t result = Qor_Xml_InterfaceConfig_InterfaceName_Set(path.c_str(), identifier.c_str(), name);
  if (result == QOR_XML_ERR_NODE) {
    Qor_InterfaceInfo_t holder{};
    uint32_t serial = 0;
    if (Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), name, &holder, &serial) == 0) {
      return Qor_Client_ErrorHandler(nullptr, kNotAllowed,
                                     "name '%s' is already assigned to %s, controller %u, interface %u", name,
                                     Qor_Internal_GetHostInterfaceTypeDescription(holder.hostInterfaceType),
                                     holder.controllerNumber, holder.interfaceNumber);
    }
  }
  return result == 0 ? 0 : xmlFailure(result);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
