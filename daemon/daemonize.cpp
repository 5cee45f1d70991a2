#include "daemonize.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qor::daemon {

void openSystemLog(bool debug) {
  setlogmask(LOG_UPTO(debug ? LOG_DEBUG : LOG_INFO));
  openlog("Hestor_Daemon", LOG_CONS | (debug ? 0 : LOG_PERROR), LOG_USER);
}

void detach(bool debug) {
  const pid_t child = fork();
  if (child < 0) exit(1);
  if (child > 0) {
    printf("Child process created: %d\n", static_cast<int>(child));
    exit(0);
  }
  umask(027);
  if (setsid() < 0) exit(1);
  closelog();
  close_range(0, UINT_MAX, 0);
  const int null = open("/dev/null", O_RDWR);
  if (null != STDIN_FILENO || dup(null) != STDOUT_FILENO || dup(null) != STDERR_FILENO) exit(1);
  if (chdir(kWorkingDirectory) != 0) exit(1);
  openSystemLog(debug);
}

void takePidLock() {
  // Never through a link planted in /tmp, never a file another user made: that user could hold the lock.
  const int file = open(kPidFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat owner {};
  if (file < 0 || fstat(file, &owner) != 0 || owner.st_uid != geteuid()) {
    syslog(LOG_INFO, "Could not open PID lock file %s, exiting", kPidFile);
    exit(1);
  }
  if (lockf(file, F_TLOCK, 0) != 0) {
    syslog(LOG_INFO, "Could not lock PID lock file %s, exiting", kPidFile);
    exit(1);
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(file, 0) != 0 || pwrite(file, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    syslog(LOG_ERR, "%s : Error writing %s (%m)\n", "daemonize", kPidFile);
  }
  // The descriptor stays open, and so the lock held, until the process ends.
}

} // namespace qor::daemon
