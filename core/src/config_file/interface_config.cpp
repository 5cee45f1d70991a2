// Reading the interface configuration file: the configuration's name, interfaces by name and the device settings
// that an open asks for.
#include <string>

#include "startup/error_store.hpp"
#include "config_file/interface_config.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "qor_xml.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace qor::client {

uint32_t dedicatedFirmwareSetting(Qor_PortInfo_t& entry, uint32_t deviceIdentifier, uint32_t& value) {
  std::string path;
  if (uint32_t result = configFilePath(&entry, path)) return result;
  const std::string device = std::to_string(deviceIdentifier);
  const char* const names[] = {QOR_XML_USE_DEDICATED_FIRMWARE};
  uint32_t setting = 0;
  if (uint32_t result = Qor_Xml_NodeValues_GetByAttribute_U32(path.c_str(), QOR_XML_DEVICE, QOR_XML_ID,
                                                              device.c_str(), 1, names, &setting)) {
    return storeError(&entry, result, Qor_Xml_GetLastErrorDescription());
  }
  value = setting;
  return 0;
}

} // namespace qor::client

extern "C" {

uint32_t Qor_InterfaceConfig_ConfigurationName_Get(uint32_t size, char* buffer) try {
  std::string path;
  if (uint32_t result = configFilePath(nullptr, path)) return result;
  bool readable = false;
  if (uint32_t result = probeFile(nullptr, path, readable)) return result;
  if (!readable) return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_FILE_NOT_FOUND, "%s was not found", path.c_str());
  return Qor_Xml_InterfaceConfig_ConfigurationName_Get(path.c_str(), size, buffer);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetInterfaceInfoByName(const char* name, Qor_InterfaceInfo_t* info) try {
  if (name == nullptr || info == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::string path;
  if (uint32_t result = configFilePath(nullptr, path)) return result;
  Qor_InterfaceInfo_t found{};
  uint32_t serial = 0;
  if (uint32_t result = Qor_Xml_InterfaceConfig_InterfaceInfo_GetByName(path.c_str(), name, &found, &serial)) {
    return storeError(nullptr, result, Qor_Xml_GetLastErrorDescription());
  }
  // A USB device's number changes as devices come and go; the file keeps the one it was listed with.
  if (uint32_t result = Qor_Interface_UpdateDeviceIndex(QOR_NO_PORT, &found, serial)) return result;
  *info = found;
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
