// Becoming the daemon: the system log identity, detaching from the starting terminal, and the pid lock file that
// keeps a second instance from starting.
#pragma once

namespace qor::daemon {

inline constexpr char kPidFile[] = "/tmp/daemon.pid";
inline constexpr char kWorkingDirectory[] = "/tmp/";

// Opens the system log as "Hestor_Daemon": everything up to debug level in debug mode, up to information level
// otherwise; copies to standard error only without debug mode.
void openSystemLog(bool debug);

// Forks; the parent prints the child's id and exits with 0 once the child reports (reportStarted) that it holds the
// lock, with 1 when the child ends first or stays silent for seconds. The child leaves the terminal's session, closes
// every descriptor but the report's (the system log first, so it never writes to a reused descriptor), puts
// /dev/null on 0 to 2, moves to the working directory and reopens the system log; it returns the report's
// descriptor. Exits with 1 when that fails.
int detach(bool debug);

// Takes the pid lock file for the life of the process and writes the process id into it; logs and exits with 1 when
// the file cannot be opened or another process holds the lock. Never follows a link there; what another user put at
// the path (a file, a link, a fifo) is replaced by a file of the daemon's user.
void takePidLock();

// Tells the detached parent that the lock is held (no-op for -1, when the daemon did not detach).
void reportStarted(int report);

} // namespace qor::daemon
