// Small tools of the benchmarks: timing statistics and the floors they are compared with. Every floor runs in the
// product's process layout: each hop is between two processes, as between the library, the daemon and a device.
// The floors and the product alternate in short blocks within one run, because the machine's idle wake-up latency
// moves a floor severalfold between runs.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace qor::bench {

using Clock = std::chrono::steady_clock;

inline double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Waits until arrived() reaches target, or until nothing new has arrived for two seconds (what is lost is counted by
// the caller); returns when the count last moved, the end of a timed run.
template <class Arrived>
Clock::time_point awaitArrivals(Arrived arrived, uint64_t target, Clock::duration poll) {
  constexpr auto kQuiet = std::chrono::seconds(2);
  auto last = Clock::now();
  uint64_t count = arrived();
  while (count < target) {
    std::this_thread::sleep_for(poll);
    if (const uint64_t now = arrived(); now != count) {
      count = now;
      last = Clock::now();
    } else if (Clock::now() - last > kQuiet) {
      break;
    }
  }
  return last;
}

// A sender that keeps no more than ringItems ahead of the reader waits until sentAfter items fit.
template <class Arrived>
void awaitRoom(Arrived arrived, uint64_t sentAfter, uint64_t ringItems) {
  awaitArrivals(arrived, sentAfter > ringItems ? sentAfter - ringItems : 0, std::chrono::microseconds(100));
}

struct Latencies {
  double median = 0;
  double p99 = 0;
};

inline Latencies summarise(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 99 / 100)]};
}

// Floor and product timed round by round, alternating in blocks so that drift of the machine during the run moves
// both alike. A round returns whether its answer was right; wrong answers are counted, never hidden.
struct AlternatedRounds {
  Latencies floor, product;
  uint64_t floorFailures = 0, productFailures = 0;
};

template <class FloorRound, class ProductRound>
AlternatedRounds alternateRounds(int blocks, int roundsPerBlock, FloorRound floorRound, ProductRound productRound) {
  std::vector<double> floorSamples, productSamples;
  AlternatedRounds result;
  const auto timeRounds = [roundsPerBlock](auto& round, std::vector<double>& samples, uint64_t& failures) {
    for (int i = 0; i < roundsPerBlock; ++i) {
      const auto start = Clock::now();
      if (!round()) ++failures;
      samples.push_back(microseconds(Clock::now() - start));
    }
  };
  for (int block = 0; block < blocks; ++block) {
    timeRounds(floorRound, floorSamples, result.floorFailures);
    timeRounds(productRound, productSamples, result.productFailures);
  }
  result.floor = summarise(std::move(floorSamples));
  result.product = summarise(std::move(productSamples));
  return result;
}

// Three lines: floor, product and their ratio; labels are padded to one column.
void printAlternatedRounds(const AlternatedRounds& rounds, const char* floorLabel, const char* productLabel);

// The hops of one command with its response, in the product's process layout, with nothing done at each hop but
// passing the bytes on: this process sends a message on a queue to a relay process (as the library to the daemon);
// one relay thread passes it over TCP on loopback to an echo process (as the daemon to an Ethernet device); another
// relay thread receives the echo and sends it back on a second queue (as the daemon's hardware thread). The
// processes live as long as the object.
class RoundTripFloor {
 public:
  // Payloads of at most maxPayload bytes.
  explicit RoundTripFloor(size_t maxPayload);
  ~RoundTripFloor();
  RoundTripFloor(const RoundTripFloor&) = delete;
  RoundTripFloor& operator=(const RoundTripFloor&) = delete;

  // One round with payload bytes that carry serial: a queue message of 20 + payload bytes out, a TCP frame of
  // 12 + payload bytes each way and a queue message of 24 + payload bytes back, as a command with its response.
  // False when the answer is missing or differs.
  bool round(size_t payload, uint64_t serial);
  // The relay and echo processes.
  std::vector<pid_t> processes() const { return {relay_, echo_}; }

 private:
  std::string thereName_, backName_;
  int there_ = -1, back_ = -1; // queue descriptors
  pid_t relay_ = -1, echo_ = -1;
  std::vector<uint8_t> out_, in_;
};

// What the threads of processes have used so far: time on a processor and voluntary context switches (wake-ups
// after a wait); threads that ended are not counted. A machine shared with other work stretches latencies, much less
// these.
struct ProcessCounters {
  double cpuSeconds = 0;
  uint64_t wakeUps = 0;
};
ProcessCounters processCounters(std::span<const pid_t> processes);

// Seconds to move messages of this size one way through a queue from another process.
double queueSeconds(size_t messageSize, size_t messages);

// Seconds to move bytes one way through a TCP connection on loopback into another process, in pieces of this size.
double tcpSeconds(size_t bytes, size_t pieceSize);

// The main of the program that runs the other process of these two hops (qor_bench_floor_peer).
int floorPeerMain(int argc, char** argv);

// The floor of monitor data: frames of frameBytes (firmware frames, header included) through one queue hop, as the
// daemon's messages of 12 more bytes, and one TCP hop, each between two processes. The daemon overlaps the hops, so
// the floor is the slower one; in seconds.
double monitorFloorSeconds(size_t frameBytes, size_t frames);

// The floor of a file writer: the bytes written to a new file in pieces of this size, then closed; false when any
// of it failed.
bool writePlainFile(const std::string& name, std::span<const uint8_t> bytes, size_t pieceSize);
// What a file holds; empty when it cannot be read.
std::vector<uint8_t> fileContent(const std::string& name);

// Fills data with bytes that only this serial gives, and checks them.
void fillPattern(std::span<uint8_t> data, uint64_t serial);
bool hasPattern(std::span<const uint8_t> data, uint64_t serial);

} // namespace qor::bench
