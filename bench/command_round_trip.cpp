// The round trip of one command with its response: library, application queues, daemon, TCP, emulated device and
// back. Prints latencies and rates next to the floor measured in the same run (a message-queue ping-pong between
// two processes plus a TCP ping-pong on loopback). Runs inside qor_sandbox (fixed queue names, loopback devices).
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::ReceivedFrame;
using qor::emulator::Reply;

constexpr uint8_t kCommand = 0x42;
constexpr int kRounds = 20000;
constexpr int kParallelSeconds = 3;
constexpr size_t kParameterBytes = 8;
// The queue messages and TCP frames of one such command: a 12-byte frame header and the parameters, behind the
// 8-byte request header on the way out and the 12-byte response header on the way back.
constexpr size_t kFrameBytes = 12 + kParameterBytes;
constexpr size_t kQueueBytes = 12 + kFrameBytes;

bool command(uint32_t port) {
  uint8_t parameters[kParameterBytes] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t response[64];
  uint32_t size = sizeof response;
  return Qor_CommandWithResponseEx(port, 0, kCommand, 1, parameters, sizeof parameters, response, &size) == 0;
}

double commandsPerSecond(const std::vector<uint32_t>& ports) {
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> done{0}, failed{0};
  std::vector<std::thread> threads;
  for (uint32_t port : ports) {
    threads.emplace_back([&, port] {
      while (!stop) (command(port) ? done : failed)++;
    });
  }
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(kParallelSeconds));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (failed != 0) std::printf("  (%llu commands failed)\n", static_cast<unsigned long long>(failed.load()));
  return static_cast<double>(done) / seconds;
}

} // namespace

int main() {
  const Latencies queues = messageQueuePingPong(kQueueBytes, kRounds);
  const Latencies tcp = tcpPingPong(kFrameBytes, kRounds);
  const double floorMedian = queues.median + tcp.median;
  const double floorP99 = queues.p99 + tcp.p99;

  std::vector<EmulatedInterface> interfaces;
  for (int i = 0; i < 4; ++i) {
    interfaces.push_back(startInterface(i));
    interfaces.back().device->onCommand(kCommand, [](const ReceivedFrame& frame) -> Reply {
      return frame.response(frame.parameters(), 1);
    });
  }
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  for (EmulatedInterface& interface : interfaces) {
    if (!openInterface(interface)) return 1;
  }
  std::vector<double> samples;
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    if (!command(interfaces[0].port)) {
      std::printf("command failed: %s\n", Qor_GetLastErrorDescription());
      return 1;
    }
    samples.push_back(microseconds(Clock::now() - start));
  }
  const Latencies road = summarise(samples);
  std::vector<uint32_t> ports;
  for (const EmulatedInterface& interface : interfaces) ports.push_back(interface.port);
  const double onePort = commandsPerSecond({ports[0]});
  const double fourPorts = commandsPerSecond(ports);

  std::printf("command round trip (%d commands of %zu parameter bytes)\n", kRounds, kParameterBytes);
  std::printf("  floor: queue ping-pong median %.1f us p99 %.1f us, TCP ping-pong median %.1f us p99 %.1f us\n",
              queues.median, queues.p99, tcp.median, tcp.p99);
  std::printf("  floor sum                 median %8.1f us   p99 %8.1f us\n", floorMedian, floorP99);
  std::printf("  command with response     median %8.1f us   p99 %8.1f us\n", road.median, road.p99);
  std::printf("  ratio to floor            median %8.2f x    p99 %8.2f x\n", road.median / floorMedian, road.p99 / floorP99);
  std::printf("  commands per second: 1 port %.0f, 4 ports in parallel %.0f (floor, one at a time: %.0f)\n", onePort,
              fourPorts, 1e6 / floorMedian);
  return 0;
}
