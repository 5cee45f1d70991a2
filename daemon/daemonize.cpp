#include "daemonize.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qor::daemon {
namespace {

// How long the parent waits for its child to tell that it holds the lock.
constexpr int kStartReportBoundMs = 10000;
// Tries at creating the lock file anew while another process puts something at its path.
constexpr int kCreateAttempts = 3;

// The parent's side: exits 0 once the child tells it holds the lock, 1 when the child ends (or stays silent).
[[noreturn]] void awaitStartReport(int report) {
  pollfd reported{report, POLLIN, 0};
  char started = 0;
  int polled;
  do {
    polled = poll(&reported, 1, kStartReportBoundMs);
  } while (polled < 0 && errno == EINTR);
  exit(polled == 1 && read(report, &started, 1) == 1 ? 0 : 1);
}

// The lock file as this process's own: a regular file of its user, reached through no link. Anything else another
// user put at the path (a file, a link, a fifo) is removed and the file created anew; -1 when that fails.
int openOwnLockFile() {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const int existing = open(kPidFile, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (existing != -1) {
      struct stat status {};
      if (fstat(existing, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid()) return existing;
      close(existing);
    } else if (errno != ENOENT && errno != ELOOP && errno != ENXIO) {
      return -1;
    }
    if (unlink(kPidFile) != 0 && errno != ENOENT) return -1;
    const int created = open(kPidFile, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (created != -1 || errno != EEXIST) return created;
  }
  return -1;
}

} // namespace

void openSystemLog(bool debug) {
  setlogmask(LOG_UPTO(debug ? LOG_DEBUG : LOG_INFO));
  openlog("Hestor_Daemon", LOG_CONS | (debug ? 0 : LOG_PERROR), LOG_USER);
}

int detach(bool debug) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) exit(1);
  // Above the standard descriptors, so that it survives their replacement below.
  const int reportEnd = fcntl(report[1], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (reportEnd < 0) exit(1);
  const pid_t child = fork();
  if (child < 0) exit(1);
  if (child > 0) {
    close(report[1]);
    close(reportEnd);
    printf("Child process created: %d\n", static_cast<int>(child));
    fflush(stdout);
    awaitStartReport(report[0]);
  }
  umask(027);
  if (setsid() < 0) exit(1);
  closelog();
  close_range(0, static_cast<unsigned>(reportEnd) - 1, 0);
  close_range(static_cast<unsigned>(reportEnd) + 1, UINT_MAX, 0);
  const int null = open("/dev/null", O_RDWR);
  if (null != STDIN_FILENO || dup(null) != STDOUT_FILENO || dup(null) != STDERR_FILENO) exit(1);
  if (chdir(kWorkingDirectory) != 0) exit(1);
  openSystemLog(debug);
  return reportEnd;
}

void takePidLock() {
  const int file = openOwnLockFile();
  if (file < 0) {
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

void reportStarted(int report) {
  if (report < 0) return;
  const char started = 1;
  if (write(report, &started, 1) != 1) syslog(LOG_ERR, "%s : Error reporting the start (%m)\n", "daemonize");
  close(report);
}

} // namespace qor::daemon
