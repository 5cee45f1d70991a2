#include "startup/process_config.hpp"

#include <fcntl.h>
#include <ini.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>

#include "qor_shared/regular_file.hpp"

namespace {

// A key given twice keeps the later value.
void replaceText(char*& field, const char* value) {
  free(field);
  field = strdup(value);
}

const char* orNull(const char* text) { return text ? text : "(null)"; }

// Far larger than any configuration: such a file is refused rather than read.
constexpr size_t kMaxConfigSize = 1 << 20;

// The text of a regular file of sensible size, else nothing (and why in the log).
std::optional<std::string> readConfigText(const char* path) {
  qor::RegularFileText file = qor::readRegularFile(path, kMaxConfigSize);
  using Outcome = qor::RegularFileText::Outcome;
  switch (file.outcome) {
    case Outcome::Read: return std::move(file.text);
    case Outcome::CannotOpen: break;
    case Outcome::NotRegular: syslog(LOG_ERR, "'%s' is no regular file\n", path); break;
    case Outcome::TooLarge:
      syslog(LOG_ERR, "'%s' is larger than %ld bytes\n", path, static_cast<long>(kMaxConfigSize));
      break;
    case Outcome::CannotRead:
      errno = file.error;
      syslog(LOG_ERR, "could not read '%s': %m\n", path);
      break;
  }
  return std::nullopt;
}

} // namespace

int rdCfghandler(void* user, const char* section, const char* name, const char* value) {
  auto* config = static_cast<Qor_LinuxCfg_t*>(user);
  auto is = [&](const char* s, const char* n) { return strcmp(section, s) == 0 && strcmp(name, n) == 0; };
  if (is("protocol", "version")) {
    config->version = static_cast<int32_t>(strtol(value, nullptr, 10));
  } else if (is("user", "name")) {
    replaceText(config->name, value);
  } else if (is("DIRECORIES", "installDir")) { // the section is spelled so
    replaceText(config->installDir, value);
  } else if (is("DIRECORIES", "cyclorDir")) {
    replaceText(config->cyclorDir, value);
  } else if (is("FILES", "deviceCfg")) {
    replaceText(config->deviceCfg, value);
  } else if (is("FILES", "settings")) {
    replaceText(config->settings, value);
  } else {
    return 0;
  }
  return 1;
}

namespace qor::client {

void loadProcessConfig(const char* path) {
  char resolved[PATH_MAX];
  // A file that cannot be resolved cannot be opened either.
  std::optional<std::string> text;
  if (realpath(path, resolved) != nullptr) text = readConfigText(resolved);
  if (!text || ini_parse_string(text->c_str(), rdCfghandler, &LinuxCfg) < 0) {
    syslog(LOG_ERR, "Can't load '%s'\n", path);
    return;
  }
  syslog(LOG_INFO, "Config loaded from '%s': IPversion=%d, name=%s , \t\t\t\tModulPath =%s , settings file = %s\n",
         resolved, LinuxCfg.version, orNull(LinuxCfg.name), orNull(LinuxCfg.installDir), orNull(LinuxCfg.settings));
}

void freeProcessConfig() {
  for (char** text : {&LinuxCfg.name, &LinuxCfg.installDir, &LinuxCfg.cyclorDir, &LinuxCfg.deviceCfg,
                      &LinuxCfg.settings}) {
    free(*text);
    *text = nullptr;
  }
}

} // namespace qor::client
