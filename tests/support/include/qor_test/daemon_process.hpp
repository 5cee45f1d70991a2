// The daemon qorapid running as it does on a host: started from a child process so that it detaches, and served
// on "/Qor_API" once the constructor returns. The test process becomes the subreaper of what it starts, so it can
// tell when the daemon has ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qor::test {

class DaemonProcess {
public:
  // Throws std::runtime_error when the daemon does not serve "/Qor_API" within a few seconds.
  explicit DaemonProcess(const std::string& program, const std::vector<std::string>& words = {});
  // Stops it (SIGTERM, then SIGKILL after the stop's bound).
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  pid_t pid() const { return pid_; }

  // SIGTERM and the wait for the end; the exit status, or -1 when it did not end in time.
  int stop(std::chrono::milliseconds timeout);

private:
  pid_t pid_ = -1;
};

// Opens "/Qor_API" for a library that was loaded before the daemon started, as the common library does after a
// restart of the daemon. False when the queue does not exist.
bool connectLibraryToDaemon();

}  // namespace qor::test
