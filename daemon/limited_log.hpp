// The system log for lines that clients can provoke (malformed messages, repeated announcements, failed replies):
// a local user who sends such messages as fast as a queue takes them must not flood the log. Each kind of line, told
// apart by its format, is logged at most kLinesPerKindAndSecond times a second; the next line of that kind after a
// second with drops first logs "%u similar lines suppressed: <format>".
#pragma once

namespace qor::daemon {

inline constexpr unsigned kLinesPerKindAndSecond = 10;

// As syslog (including %m), within the limit of its format's kind. Any thread.
void logLimited(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace qor::daemon
