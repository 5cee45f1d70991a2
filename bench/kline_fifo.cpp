// The K-Line UART FIFO's receive road through the spill buffer: an emulated K-Line controller holds a full answer of
// received bytes, and the application reads them in pieces much smaller than the answer, so that one receive command
// fills the spill buffer and the following reads are served from it. Bytes per second against the floor (the same
// process hops carrying a payload of the answer's size, passing bytes on), in alternating blocks of one run. Every
// byte is checked; a missing or wrong one is counted, never hidden. Runs inside qor_sandbox.
#include <vector>

#include "bench_support.hpp"
#include "emulated_interfaces.hpp"
#include "qor_api.h"
#include "qor_emulator/kline_line.hpp"
#include "qor_kline_fifo.h"
#include "qor_test/daemon_process.hpp"

namespace {

using namespace qor::bench;

constexpr int kBlocks = 20;
constexpr int kRoundsPerBlock = 50;
constexpr size_t kAnswerBytes = 4084 - 12;  // a receive answer of the model's longest record
constexpr uint32_t kReadPiece = 256;
constexpr uint8_t kKLineFirmwareCode = 4;

// All bytes of one full answer read in pieces; false when one is missing or wrong.
bool readAnswer(uint32_t port, uint64_t serial) {
  std::vector<uint8_t> received;
  received.reserve(kAnswerBytes);
  uint8_t piece[kReadPiece];
  for (;;) {
    uint32_t state = 0;
    uint32_t length = kReadPiece;
    const uint32_t code = Qor_KLine_Fifo_Rx_Read(port, &state, &length, piece);
    if (code != 0 && code != 0x20F0003) return false;
    received.insert(received.end(), piece, piece + length);
    if (code == 0) break;
  }
  return received.size() == kAnswerBytes && hasPattern(received, serial);
}

}  // namespace

int main() {
  RoundTripFloor floor(kAnswerBytes);
  EmulatedInterface interface = startInterface(0, InterfaceKind{58, 61, kKLineFirmwareCode});
  const auto line = qor::emulator::KLineLine::attachTo(*interface.device);
  qor::test::DaemonProcess daemon(QORAPID_PROGRAM);
  qor::test::connectLibraryToDaemon();
  if (!openInterface(interface)) return 1;

  std::vector<double> floorSamples, readSamples;
  std::vector<uint8_t> bytes(kAnswerBytes);
  uint64_t serial = 0, floorFailures = 0, readFailures = 0;
  double floorSeconds = 0, readSeconds = 0;
  for (int block = 0; block < kBlocks; ++block) {
    for (int i = 0; i < kRoundsPerBlock; ++i) {
      const auto start = Clock::now();
      if (!floor.round(kAnswerBytes, ++serial)) ++floorFailures;
      const Clock::duration took = Clock::now() - start;
      floorSeconds += seconds(took);
      floorSamples.push_back(microseconds(took));
    }
    for (int i = 0; i < kRoundsPerBlock; ++i) {
      fillPattern(bytes, ++serial);
      line->feed(bytes);
      const auto start = Clock::now();
      if (!readAnswer(interface.port, serial)) ++readFailures;
      const Clock::duration took = Clock::now() - start;
      readSeconds += seconds(took);
      readSamples.push_back(microseconds(took));
    }
  }
  const double rounds = static_cast<double>(kBlocks) * kRoundsPerBlock;
  const double floorRate = rounds * kAnswerBytes / floorSeconds;
  const double readRate = rounds * kAnswerBytes / readSeconds;
  const Latencies floorTimes = summarise(floorSamples);
  const Latencies reads = summarise(readSamples);
  std::printf("K-Line UART FIFO through the spill buffer (%d blocks of %d answers of %zu bytes, read in pieces of %u)"
              "\n",
              kBlocks, kRoundsPerBlock, kAnswerBytes, kReadPiece);
  std::printf("  floor (command hops, bare)      median %8.1f us   p99 %8.1f us   %10.0f bytes/s   failures %llu\n",
              floorTimes.median, floorTimes.p99, floorRate, static_cast<unsigned long long>(floorFailures));
  std::printf("  one answer read in pieces       median %8.1f us   p99 %8.1f us   %10.0f bytes/s   failures %llu\n",
              reads.median, reads.p99, readRate, static_cast<unsigned long long>(readFailures));
  std::printf("  ratio of bytes per second to the floor   %6.2f\n", readRate / floorRate);
  return floorFailures + readFailures == 0 ? 0 : 1;
}
