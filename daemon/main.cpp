// qorapid: the daemon that owns the road to the hardware. Command line: up to two words, "debug" (log everything,
// up to debug level) and "usb" (start the USB access path), in any order and letter case.
//
// Signals are never handled in a signal handler: every thread blocks them and one thread waits for them, so the stop
// runs as ordinary code. SIGINT and SIGTERM stop the daemon in order; SIGHUP is only logged; SIGPIPE is ignored.
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "daemonize.hpp"
#include "map.hpp"
#include "server.hpp"
#include "stale_queues.hpp"

namespace {

using namespace qor::daemon;

struct CommandLine {
  bool debug = false;
  bool usb = false;
};

CommandLine parseCommandLine(int argc, char** argv) {
  CommandLine words;
  if (argc < 2) return words;
  for (int i = 1; i <= 2 && i < argc; ++i) {
    if (strcasecmp(argv[i], "debug") == 0) {
      words.debug = true;
    } else if (strcasecmp(argv[i], "usb") == 0) {
      words.usb = true;
    } else {
      syslog(LOG_NOTICE, i == 1 ? "\nunknown Par1 :  %s \n" : "\nunknown Par2 :  %s \n", argv[i]);
    }
  }
  syslog(LOG_NOTICE, "dbg_mode %u usb %u", words.debug ? 1u : 0u, words.usb ? 1u : 0u);
  return words;
}

// The directory of the daemon's executable, without the trailing "/".
std::string executableDirectory(const char* argument0) {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  const std::string executable(path, length > 0 ? static_cast<size_t>(length) : 0);
  const size_t slash = executable.rfind('/');
  if (slash == std::string::npos) {
    syslog(LOG_ERR, "%s : Error in %s\n", "main", argument0);
    exit(1);
  }
  return executable.substr(0, slash);
}

void raiseQueueLimit() {
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  if (setrlimit(RLIMIT_MSGQUEUE, &unlimited) != 0) syslog(LOG_ERR, "%s : Error on setrlimit (%m)\n", "main");
  rlimit current{};
  if (getrlimit(RLIMIT_MSGQUEUE, &current) != 0) syslog(LOG_ERR, "%s : Error on getrlimit (%m)\n", "main");
}

// Blocks the signals the daemon waits for (and those a daemon must not act on) in this thread and in every thread
// started from it.
sigset_t blockSignals() {
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int number : {SIGCHLD, SIGTSTP, SIGTTOU, SIGTTIN, SIGHUP, SIGINT, SIGTERM}) sigaddset(&blocked, number);
  pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
  sigset_t awaited;
  sigemptyset(&awaited);
  for (int number : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&awaited, number);
  return awaited;
}

// Waits for the signals; SIGINT and SIGTERM stop the server. Ends with the stop, whoever began it.
void awaitSignals(Server& server, const sigset_t& awaited) {
  constexpr timespec kSlice{0, 500 * 1000 * 1000};
  while (!server.stopRequested()) {
    const int number = sigtimedwait(&awaited, nullptr, &kSlice);
    if (number == SIGHUP) {
      syslog(LOG_INFO, "Received SIGHUP signal.");
    } else if (number == SIGINT || number == SIGTERM) {
      server.stopProcesses();
      server.stop();
    }
  }
}

} // namespace

int main(int argc, char** argv) {
  const CommandLine words = parseCommandLine(argc, argv);
  const std::string directory = executableDirectory(argv[0]);
  openSystemLog(words.debug);
  syslog(LOG_INFO, "%s %s starting up from %s, Compile Time : %s , %s\n", "Daemon", "REL", directory.c_str(), __DATE__,
         __TIME__);
  raiseQueueLimit();
  const sigset_t awaited = blockSignals();
  const int startReport = getppid() != 1 ? detach(words.debug) : -1;
  // The lock comes before anything else is touched: a second instance leaves the running one's queues alone.
  takePidLock();
  reportStarted(startReport);
  if (!removeStaleQueues()) exit(1);

  syslog(LOG_DEBUG, "qorapid running");
  Server server(ServerOptions{words.usb});
  installAccessPaths(server.deviceAccess(), directory);
  server.start();
  std::thread signals([&] { awaitSignals(server, awaited); });
  const bool served = server.waitForClients();
  server.stop();
  signals.join();
  syslog(LOG_NOTICE, "qorapid stopped ...\n");
  sleep(1);
  exit(served ? 0 : 1);
}
