// Where the interface configuration file is: the installation directory and file name of the process
// configuration.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>

#include "startup/error_store.hpp"
#include "config_file/interface_config.hpp"
#include "qor_api.h"
#include "qor_interface_config.h"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

namespace qor::client {
namespace {

constexpr uint32_t kInitialisationFailed = 0x2000102;
constexpr uint32_t kCouldNotClose = 0x2010201;
constexpr char kNotConfigured[] = "getting configuration file information failed\n";

// Copied under the process lock: a signal's clean-up frees the texts.
std::optional<std::string> configured(char* Qor_LinuxCfg_t::*text) {
  SectionLock process(ClientInfo.lock);
  if (LinuxCfg.*text == nullptr) return std::nullopt;
  return std::string(LinuxCfg.*text);
}

uint32_t notConfigured(Qor_PortInfo_t* entry) {
  syslog(LOG_ERR, "%s", kNotConfigured);
  return Qor_Client_ErrorHandler(entry, kInitialisationFailed, "%s", kNotConfigured);
}

// The whole text with its NUL, or a failure: a cut path would name another file.
uint32_t copyOut(const std::string& text, char* buffer, uint32_t* size, const char* tooSmall) {
  if (*size < text.size() + 1) return Qor_Client_ErrorHandler(nullptr, kInitialisationFailed, "%s", tooSmall);
  memcpy(buffer, text.c_str(), text.size() + 1);
  *size = static_cast<uint32_t>(text.size() + 1);
  return 0;
}

} // namespace

std::optional<std::string> configuredFilePath() {
  const std::optional<std::string> directory = configured(&Qor_LinuxCfg_t::installDir);
  const std::optional<std::string> file = configured(&Qor_LinuxCfg_t::deviceCfg);
  if (!directory || !file) return std::nullopt;
  return *directory + "/" + *file;
}

uint32_t configFilePath(Qor_PortInfo_t* entry, std::string& path) {
  std::optional<std::string> configuredPath = configuredFilePath();
  if (!configuredPath) return notConfigured(entry);
  path = std::move(*configuredPath);
  return 0;
}

uint32_t installDirectory(std::string& directory) {
  std::optional<std::string> configuredDirectory = configured(&Qor_LinuxCfg_t::installDir);
  if (!configuredDirectory) return notConfigured(nullptr);
  directory = std::move(*configuredDirectory);
  return 0;
}

uint32_t probeFile(Qor_PortInfo_t* entry, const std::string& path, bool& readable) {
  // Without waiting: a FIFO would keep the open waiting for a writer (the XML library then refuses it).
  const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  readable = file >= 0;
  if (file >= 0 && close(file) != 0) {
    return Qor_Client_ErrorHandler(entry, kCouldNotClose, "could not close '%s'", path.c_str());
  }
  return 0;
}

} // namespace qor::client

using namespace qor::client;

extern "C" {

uint32_t Qor_InterfaceConfig_GetInstallDir(char* buffer, uint32_t* size) try {
  if (buffer == nullptr || size == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::string directory;
  if (uint32_t result = installDirectory(directory)) return result;
  return copyOut(directory, buffer, size, "given install directory length too small");
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_GetConfigFilePath(char* buffer, uint32_t* size) try {
  if (buffer == nullptr || size == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  std::string path;
  if (uint32_t result = configFilePath(nullptr, path)) return result;
  return copyOut(path, buffer, size, "given config file path length to small");
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_InterfaceConfig_SetConfigFilePath(const char*) try {
  return storeError(nullptr, QOR_ERR_API_FUNCTION_NOT_AVAILABLE, "");
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
