// Becoming the daemon: the system log identity, detaching from the starting terminal, and the pid lock file that
// keeps a second instance from starting.
#pragma once

namespace qor::daemon {

inline constexpr char kPidFile[] = "/tmp/daemon.pid";
inline constexpr char kWorkingDirectory[] = "/tmp/";

// Opens the system log as "Hestor_Daemon": everything up to debug level in debug mode, up to information level
// otherwise; copies to standard error only without debug mode.
void openSystemLog(bool debug);

// Forks; the parent prints the child's id and exits with 0. The child leaves the terminal's session, closes every
// descriptor (the system log first, so it never writes to a reused descriptor), puts /dev/null on 0 to 2, moves to
// the working directory and reopens the system log. Exits with 1 when that fails.
void detach(bool debug);

// Takes the pid lock file for the life of the process and writes the process id into it; logs and exits with 1 when
// the file cannot be opened or another process holds the lock.
void takePidLock();

} // namespace qor::daemon
