// Wake-ups per second while nothing happens: the daemon alone, then with 1 and 4 ports open (each by its own
// application in this process, whose library threads are counted too). A wake-up is a voluntary context switch of
// any thread; the floor of an idle system is none, so the figures are absolute. The devices are served by a process
// of their own and are not counted. Runs inside qor_sandbox.
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr uint8_t kCommand = 0x42;
constexpr int kMaxPorts = 4;
constexpr auto kSettle = std::chrono::milliseconds(500);
constexpr auto kWindow = std::chrono::seconds(3);

struct Rates {
  double daemon = 0;
  double library = 0;
};

// Wake-ups per second over the window, after the threads have settled. This thread sleeps through the window, so
// that it adds one wake-up to the library's count.
Rates idleRates(pid_t daemon) {
  std::this_thread::sleep_for(kSettle);
  const pid_t daemonProcess[] = {daemon}, library[] = {getpid()};
  const uint64_t daemonBefore = processCounters(daemonProcess).wakeUps;
  const uint64_t libraryBefore = processCounters(library).wakeUps;
  const auto start = Clock::now();
  std::this_thread::sleep_for(kWindow);
  const double elapsed = seconds(Clock::now() - start);
  return {static_cast<double>(processCounters(daemonProcess).wakeUps - daemonBefore) / elapsed,
          static_cast<double>(processCounters(library).wakeUps - libraryBefore - 1) / elapsed};
}

} // namespace

int main() {
  const EchoDevices devices(kMaxPorts, kCommand);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  std::printf("wake-ups per second while idle (voluntary context switches over %lld s)\n",
              static_cast<long long>(kWindow.count()));
  const Rates alone = idleRates(daemon.pid());
  std::printf("  no port open     daemon %7.1f\n", alone.daemon);
  std::vector<uint32_t> ports;
  int failures = 0;
  for (int count : {1, kMaxPorts}) {
    while (static_cast<int>(ports.size()) < count) {
      const Qor_InterfaceInfo_t info = interfaceInfo("127.0.0." + std::to_string(2 + ports.size()));
      uint32_t port = QOR_NO_PORT;
      if (Qor_OpenInterface(&info, &port) != 0) {
        std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
        ++failures;
        break;
      }
      ports.push_back(port);
    }
    const Rates open = idleRates(daemon.pid());
    const double perPort = ports.empty() ? 0 : (open.daemon - alone.daemon) / static_cast<double>(ports.size());
    std::printf("  %d port(s) open   daemon %7.1f (%.1f per port)   library %7.1f (%.1f per port)\n",
                static_cast<int>(ports.size()), open.daemon, perPort, open.library,
                ports.empty() ? 0 : open.library / static_cast<double>(ports.size()));
  }
  for (uint32_t port : ports) Qor_CloseInterface(port);
  return failures == 0 ? 0 : 1;
}
