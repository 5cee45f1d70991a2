// qor_sandbox: runs one command in fresh IPC, mount, network and PID namespaces, so that tests touching the
// product's fixed paths (message queues, lock file, process configuration, system log) never collide.
// The trees the command lives in (this build's source and build trees, and any given with --keep) stay in sight
// at their own paths, read-only, wherever they lie: below /tmp or in a home the command may not enter.
// Test tooling only, never shipped.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace qor::sandbox {

// Where PID 1 appends every datagram received on /dev/log; named to the command by kSyslogCaptureVariable.
inline constexpr char kCaptureFile[] = "/run/syslog";

// What goes wrong in the sandbox itself exits with this status, distinct from the command's own.
inline constexpr int kSandboxFailure = 125;

struct Options {
  bool runAsRoot = false;
  std::optional<std::string> iniContent;  // placed at /etc/Qor_API_Linux.ini when set
  std::vector<std::string> keptTrees;     // absolute, resolved, none inside another
  std::vector<char*> command;             // null-terminated, ready for execvp
  uid_t uid = 0;                          // identity of the command
  gid_t gid = 0;
};

// Prints "qor_sandbox: <what>[: <errno text>]" and exits with kSandboxFailure.
[[noreturn]] void fail(const std::string& what, int error = 0);

// Calls fail() with errno when result is negative.
inline void check(long result, const std::string& what) {
  if (result < 0) {
    fail(what, errno);
  }
}

// Exit status in the shell's convention: the exit code, or 128 + the signal that ended the process.
int exitStatusOf(int waitStatus);

// Enters new IPC, mount and network namespaces and gives them their own /proc, /dev, /etc, /tmp, /run, queue
// limits and loopback, with the kept trees in sight of the command (runs as PID 1).
void prepareNamespaces(const Options& options);

// PID 1 of the new PID namespace: prepares it, runs the command, captures the system log and reaps every
// process until the command ends; exits with the command's status.
[[noreturn]] void runInit(const Options& options, int parentAlive);

}  // namespace qor::sandbox
