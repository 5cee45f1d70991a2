// The CAN transmit FIFO on the road: frames per second that the library's flow-controlled feeders keep queued onto an
// emulated bus that drains at a saturated bus's rate (classic 8-byte frames at 1 Mbit/s, 64-byte CAN FD frames at
// 8 Mbit/s), as a ratio of that bus limit; the same feed into a bus that never holds it back shows the headroom, also
// as frames per round trip of the command floor (the same process hops, passing bytes on) measured in the same run.
// Failures and lost frames are counted, never hidden. Runs inside qor_sandbox.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_can_tx_fifo.h"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_tx_fifo_firmware.hpp"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;
using qor::emulator::CanBus;
using qor::emulator::CanFrame;
using qor::emulator::CanTxFifoFirmware;

constexpr uint8_t kSender = 1;
constexpr uint8_t kListener = 2;
constexpr uint32_t kFifoSlots = 512;
constexpr uint32_t kClassicBusLimit = 21000;  // frames per second on a saturated 1 Mbit/s bus
constexpr uint32_t kFdBusLimit = 13000;       // 64-byte frames per second at 8 Mbit/s
constexpr uint32_t kUnboundedRate = 10'000'000;
constexpr uint32_t kFramesPerCall = 1000;
constexpr uint32_t kTimeoutMs = 5000;
constexpr uint32_t kSendTimeoutMs = 30000;
constexpr int kFloorRounds = 500;
constexpr size_t kFloorPayload = 16;

struct Run {
  double framesPerSecond = 0;
  double statePollsPerFrame = 0;
  uint64_t failures = 0;
  uint64_t lost = 0;  // frames queued that never reached the other node, or that the FIFO dropped
};

std::vector<Qor_Can_TxFifo_Msg_t> classicFrames() {
  std::vector<Qor_Can_TxFifo_Msg_t> frames(kFramesPerCall);
  for (uint32_t index = 0; index < kFramesPerCall; ++index) {
    frames[index].identifier = index & 0x7FF;
    frames[index].dlc = 8;
  }
  return frames;
}

std::vector<Qor_Can_TxFifo_Msg2_t> fdFrames() {
  std::vector<Qor_Can_TxFifo_Msg2_t> frames(kFramesPerCall);
  for (uint32_t index = 0; index < kFramesPerCall; ++index) {
    frames[index].identifier = index & 0x7FF;
    frames[index].dlc = 15;
    frames[index].msgFlags = 3;  // CAN FD with a fast data phase
  }
  return frames;
}

// Queues `total` frames, kFramesPerCall a call, and waits until the other node has heard them all.
template <class Queue>
Run feed(CanTxFifoFirmware& firmware, std::atomic<uint64_t>& heard, uint32_t framesPerSecond, uint32_t total,
         Queue queue) {
  firmware.setBusRate(framesPerSecond);
  const uint64_t heardBefore = heard.load();
  const uint64_t pollsBefore = firmware.stateQueries(kSender);
  const uint32_t lostBefore = firmware.lostMessages(kSender);
  Run run;
  const auto start = Clock::now();
  for (uint32_t queued = 0; queued < total; queued += kFramesPerCall) {
    if (queue() != 0) {
      ++run.failures;
      std::printf("  queueing failed: %s\n", Qor_GetLastErrorDescription());
      break;
    }
  }
  if (!firmware.waitUntilSent(kSender, kSendTimeoutMs)) ++run.failures;
  const double took = seconds(Clock::now() - start);
  const uint64_t arrived = heard.load() - heardBefore;
  run.framesPerSecond = static_cast<double>(arrived) / took;
  const uint64_t polls = firmware.stateQueries(kSender) - pollsBefore;
  run.statePollsPerFrame = static_cast<double>(polls) / static_cast<double>(std::max<uint64_t>(arrived, 1));
  run.lost = (total - std::min<uint64_t>(arrived, total)) + (firmware.lostMessages(kSender) - lostBefore);
  return run;
}

void print(const char* what, const Run& run, double limit, double floorUs) {
  std::printf("  %-32s %8.0f frames/s  ratio to bus limit %6.3f  frames per floor round trip %5.1f  state polls "
              "per frame %6.4f  lost %llu  failures %llu\n",
              what, run.framesPerSecond, run.framesPerSecond / limit, run.framesPerSecond * floorUs / 1e6,
              run.statePollsPerFrame, static_cast<unsigned long long>(run.lost),
              static_cast<unsigned long long>(run.failures));
}

}  // namespace

int main() {
  RoundTripFloor floor(kFloorPayload);
  EmulatedInterface interface = startInterface(0);
  CanBus bus;
  bus.attach(*interface.device, kSender);
  bus.attach(*interface.device, kListener);
  std::atomic<uint64_t> heard{0};
  bus.listen(*interface.device, kListener, [&](const CanFrame&, uint64_t) { heard.fetch_add(1); });
  const auto firmware = CanTxFifoFirmware::attachTo(*interface.device, bus, kFifoSlots, 0);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;
  const uint32_t port = interface.port;

  std::vector<double> floorSamples;
  uint64_t floorFailures = 0;
  for (int round = 0; round < kFloorRounds; ++round) {
    const auto start = Clock::now();
    if (!floor.round(kFloorPayload, static_cast<uint64_t>(round))) ++floorFailures;
    floorSamples.push_back(microseconds(Clock::now() - start));
  }
  const Latencies floorTimes = summarise(floorSamples);

  const std::vector<Qor_Can_TxFifo_Msg_t> classic = classicFrames();
  const std::vector<Qor_Can_TxFifo_Msg2_t> fd = fdFrames();
  const auto queueClassic = [&] {
    return Qor_Can_TxFifo_QueueMsgs(port, kTimeoutMs, kFramesPerCall, classic.data());
  };
  const auto queueFd = [&] { return Qor_Can_TxFifo_QueueMsgs2(port, 0, kTimeoutMs, kFramesPerCall, fd.data()); };
  const Run classicBus = feed(*firmware, heard, kClassicBusLimit, 2 * kClassicBusLimit, queueClassic);
  const Run fdBus = feed(*firmware, heard, kFdBusLimit, 2 * kFdBusLimit, queueFd);
  const Run classicFree = feed(*firmware, heard, kUnboundedRate, 100'000, queueClassic);
  const Run fdFree = feed(*firmware, heard, kUnboundedRate, 50'000, queueFd);

  std::printf("CAN transmit FIFO on the road (FIFO of %u slots, %u frames a call, two seconds of a saturated bus)\n",
              kFifoSlots, kFramesPerCall);
  std::printf("  floor (command hops, bare)         median %8.1f us   p99 %8.1f us   failures %llu\n",
              floorTimes.median, floorTimes.p99, static_cast<unsigned long long>(floorFailures));
  print("classic 8 bytes, 1 Mbit/s bus", classicBus, kClassicBusLimit, floorTimes.median);
  print("CAN FD 64 bytes, 8 Mbit/s bus", fdBus, kFdBusLimit, floorTimes.median);
  print("classic 8 bytes, bus never full", classicFree, kClassicBusLimit, floorTimes.median);
  print("CAN FD 64 bytes, bus never full", fdFree, kFdBusLimit, floorTimes.median);
  const uint64_t failures = floorFailures + classicBus.failures + fdBus.failures + classicFree.failures +
                            fdFree.failures + classicBus.lost + fdBus.lost + classicFree.lost + fdFree.lost;
  return failures == 0 ? 0 : 1;
}
