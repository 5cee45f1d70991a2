// The Ethernet adapters that the settings file of the installation names for device discovery.
#include <string>

#include "config_file/interface_config.hpp"
#include "qor_api.h"
#include "qor_xml.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint32_t kConfigurationError = 0x200000D;
// The room that the path of the settings file, with its NUL, must fit.
constexpr size_t kPathRoom = 1024;
constexpr char kSettingsFile[] = "/qor_settings.xml";

} // namespace

extern "C" uint32_t Qor_Ethernet_GetScanableAdaptersFromSettingsFile(uint32_t* count, Qor_NetworkAdapter_t* adapters) try {
  if (count == nullptr || (adapters == nullptr && *count != 0)) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  const uint32_t room = *count;
  *count = 0;
  std::string path;
  if (uint32_t result = installDirectory(path)) return result;
  path += kSettingsFile;
  if (path.size() + 1 > kPathRoom) {
    return Qor_ErrorHandler(QOR_NO_PORT, kConfigurationError, "path to installation directory of Qor-API is too long");
  }
  *count = room;
  if (Qor_Xml_Settings_GetScanableAdapters(path.c_str(), count, adapters) != 0) {
    return Qor_ErrorHandler(QOR_NO_PORT, kConfigurationError, "%s", Qor_Xml_GetLastErrorDescription());
  }
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT);
}
