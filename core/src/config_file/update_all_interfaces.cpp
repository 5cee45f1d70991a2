// Rebuilding the interface list of the interface configuration file from the interfaces connected now.
#include <cstring>
#include <string>
#include <vector>

#include "enumeration/connected_interfaces.hpp"
#include "config_file/interface_list_rebuild.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "startup/exported_call.hpp"

namespace {

constexpr uint32_t kPathRoom = 512;
constexpr uint32_t kListRoom = 128;

uint32_t invalidPointer() { return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer"); }

} // namespace

extern "C" uint32_t Qor_Interface_UpdateAllInterfaces(const char* path, const uint32_t options[2]) try {
  if (options == nullptr) return invalidPointer();
  if (options[0] > 1) return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_FLAG, "%s", "");
  if (options[1] != 0) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "reserved bytes have to be zero");
  }
  // The file first: the list takes an open of every interface.
  char file[kPathRoom];
  if (options[0] == 1) {
    if (path == nullptr) return invalidPointer();
    const size_t length = strnlen(path, kPathRoom);
    if (length == kPathRoom) {
      return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER,
                              "path of the configuration file is longer than %u bytes", kPathRoom - 1);
    }
    memcpy(file, path, length + 1);
  } else {
    uint32_t room = kPathRoom;
    if (uint32_t result = Qor_InterfaceConfig_GetConfigFilePath(file, &room)) return result;
  }
  std::vector<Qor_InterfaceData_t> connected;
  if (uint32_t result = qor::client::connectedInterfaces(kListRoom, connected)) return result;
  std::string text;
  const uint32_t result = qor::client::rebuildInterfaceList(file, connected, text);
  return result == 0 ? 0 : Qor_ErrorHandler(QOR_NO_PORT, result, "%s", text.c_str());
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT);
}
