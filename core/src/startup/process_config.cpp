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

namespace {

// A key given twice keeps the later value.
void replaceText(char*& field, const char* value) {
  free(field);
  field = strdup(value);
}

const char* orNull(const char* text) { return text ? text : "(null)"; }

// Far larger than any configuration: such a file is refused rather than read.
constexpr off_t kMaxConfigSize = 1 << 20;

// The text of a regular file of sensible size, else nothing (and why in the log): a FIFO or a device would keep
// the loading process waiting or reading for ever.
std::optional<std::string> readConfigText(const char* path) {
  const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    syslog(LOG_ERR, "'%s' is no regular file\n", path);
  } else if (status.st_size > kMaxConfigSize) {
    syslog(LOG_ERR, "'%s' is larger than %ld bytes\n", path, static_cast<long>(kMaxConfigSize));
  } else {
    text.emplace(static_cast<size_t>(status.st_size), '\0');
    size_t done = 0;
    ssize_t n = 1;
    while (done < text->size() && n > 0) {
      n = read(file, text->data() + done, text->size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        n = 1; // interrupted: read again
      }
    }
    if (n < 0) {
      syslog(LOG_ERR, "could not read '%s': %m\n", path);
      text.reset();
    } else {
      text->resize(done); // shrunk meanwhile
    }
  }
  close(file);
  return text;
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
