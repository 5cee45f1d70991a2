#include "limited_log.hpp"

#include <syslog.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace qor::daemon {
namespace {

using Clock = std::chrono::steady_clock;

struct Kind {
  Clock::time_point secondStart;
  unsigned logged = 0;
  unsigned suppressed = 0;
};

std::mutex gKindsLock;
// Keyed by the format: as many entries as the daemon has formats, whatever the clients send.
std::map<std::string, Kind, std::less<>> gKinds;

} // namespace

void logLimited(int priority, const char* format, ...) {
  const int callersErrno = errno; // for %m
  unsigned dropped = 0;
  {
    std::lock_guard lock(gKindsLock);
    auto found = gKinds.find(std::string_view(format));
    if (found == gKinds.end()) found = gKinds.emplace(format, Kind{}).first;
    Kind& kind = found->second;
    const auto now = Clock::now();
    if (now - kind.secondStart >= std::chrono::seconds(1)) {
      dropped = kind.suppressed;
      kind = Kind{now, 0, 0};
    }
    if (kind.logged == kLinesPerKindAndSecond) {
      ++kind.suppressed;
      return;
    }
    ++kind.logged;
  }
  if (dropped != 0) {
    std::string_view kindText(format);
    while (!kindText.empty() && (kindText.back() == '\n' || kindText.back() == ' ')) kindText.remove_suffix(1);
    syslog(priority, "%u similar lines suppressed: %.*s", dropped, static_cast<int>(kindText.size()), kindText.data());
  }
  va_list arguments;
  va_start(arguments, format);
  errno = callersErrno;
  vsyslog(priority, format, arguments);
  va_end(arguments);
}

} // namespace qor::daemon
