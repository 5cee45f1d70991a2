// The round trip of one command with its response: library, application queues, daemon, TCP, emulated device and
// back, against its floor (the same hops between processes of the same layout, passing bytes on and nothing else),
// in alternating blocks of one run. Every answer is checked; a missing or wrong one is counted, never hidden. Runs inside
// qor_sandbox (fixed queue names, loopback devices).
#include <cstring>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr uint8_t kCommand = 0x42;
constexpr int kBlocks = 20;
constexpr int kRoundsPerBlock = 1000;
constexpr size_t kParameterBytes = 8;

} // namespace

int main() {
  RoundTripFloor floor(kParameterBytes);
  const EchoDevices device(1, kCommand);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  uint32_t port = QOR_NO_PORT;
  const Qor_InterfaceInfo_t info = interfaceInfo("127.0.0.2");
  if (Qor_OpenInterface(&info, &port) != 0) {
    std::printf("open failed: %s\n", Qor_GetLastErrorDescription());
    return 1;
  }

  // Processor time and wake-ups of the processes between the client and the device's answer: the floor's relay and
  // echo, the daemon and the emulated device. Each set works only in its own rounds.
  const std::vector<pid_t> floorProcesses = floor.processes();
  const std::vector<pid_t> roadProcesses{daemon.pid(), device.pid()};
  const pid_t daemonProcess[] = {daemon.pid()};
  const ProcessCounters floorBefore = processCounters(floorProcesses), roadBefore = processCounters(roadProcesses);
  const ProcessCounters daemonBefore = processCounters(daemonProcess);
  uint64_t serial = 0;
  const AlternatedRounds rounds = alternateRounds(
      kBlocks, kRoundsPerBlock, [&] { return floor.round(kParameterBytes, ++serial); },
      [&] { return echoRound(port, kCommand, kParameterBytes, ++serial); });
  const ProcessCounters floorAfter = processCounters(floorProcesses), roadAfter = processCounters(roadProcesses);
  const ProcessCounters daemonAfter = processCounters(daemonProcess);
  std::printf("command round trip, one client (%d blocks of %d rounds each, %zu parameter bytes)\n", kBlocks,
              kRoundsPerBlock, kParameterBytes);
  printAlternatedRounds(rounds, "floor (the same hops, bare)", "command with response");
  const double commands = kBlocks * kRoundsPerBlock;
  const double floorCpu = (floorAfter.cpuSeconds - floorBefore.cpuSeconds) * 1e6 / commands;
  const double roadCpu = (roadAfter.cpuSeconds - roadBefore.cpuSeconds) * 1e6 / commands;
  const double daemonCpu = (daemonAfter.cpuSeconds - daemonBefore.cpuSeconds) * 1e6 / commands;
  std::printf("  between client and device: processor time per command  floor %6.1f us  road %6.1f us  (%.2f x; "
              "daemon %.1f us, emulated device %.1f us)\n",
              floorCpu, roadCpu, roadCpu / floorCpu, daemonCpu, roadCpu - daemonCpu);
  std::printf("                             wake-ups per command         floor %6.2f     road %6.2f\n",
              static_cast<double>(floorAfter.wakeUps - floorBefore.wakeUps) / commands,
              static_cast<double>(roadAfter.wakeUps - roadBefore.wakeUps) / commands);
  return rounds.floorFailures + rounds.productFailures == 0 ? 0 : 1;
}
