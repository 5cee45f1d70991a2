// The system log as captured by qor_sandbox: PID 1 appends every datagram sent to /dev/log as one line
// ("<PRI>Mmm dd hh:mm:ss ident[pid]: message") to the file named by QOR_SANDBOX_SYSLOG.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qor::test {

// Names the capture file; set by qor_sandbox for the command it runs.
inline constexpr char kSyslogCaptureVariable[] = "QOR_SANDBOX_SYSLOG";

struct SyslogLine {
  int facility = -1;  // as the LOG_* facility values of <syslog.h> (LOG_DAEMON, ...); -1 without "<PRI>"
  int level = -1;     // LOG_EMERG ... LOG_DEBUG; -1 without "<PRI>"
  std::string ident;  // empty when the line has no "ident: " tag
  pid_t pid = 0;      // 0 when the tag has no "[pid]"
  std::string message;
};

// True inside qor_sandbox (QOR_SANDBOX_SYSLOG is set).
bool insideSandbox();

class SyslogCapture {
public:
  // Reads the file named by QOR_SANDBOX_SYSLOG; throws std::runtime_error outside the sandbox.
  SyslogCapture();
  explicit SyslogCapture(std::string path);

  // Every complete line so far; a line still being written is left for the next call.
  std::vector<SyslogLine> lines() const;

  // Whether a line's message contains substring.
  bool contains(std::string_view substring) const;

  // Polls until a line matches or timeout has passed.
  bool waitFor(const std::function<bool(const SyslogLine&)>& match, std::chrono::milliseconds timeout) const;
  bool waitFor(std::string_view substring, std::chrono::milliseconds timeout) const;

private:
  std::string path_;
};

}  // namespace qor::test
