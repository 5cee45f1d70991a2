#include "startup/process_config.hpp"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <ini.h>
#include <syslog.h>

namespace {

// A key given twice keeps the later value.
void replaceText(char*& field, const char* value) {
  free(field);
  field = strdup(value);
}

const char* orNull(const char* text) { return text ? text : "(null)"; }

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
  if (realpath(path, resolved) == nullptr || ini_parse(resolved, rdCfghandler, &LinuxCfg) < 0) {
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
