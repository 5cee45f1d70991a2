// Small tools of the benchmarks: timing statistics and the floors they are compared with.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace qor::bench {

using Clock = std::chrono::steady_clock;

inline double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Latencies {
  double median;
  double p99;
};

inline Latencies summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 99 / 100)]};
}

// One message queue round trip between two processes: the request and the answer each cross one queue, as a
// command and its response cross the application's two queues.
Latencies messageQueuePingPong(size_t messageSize, int rounds);

// One TCP round trip on loopback with frames of this size, as between the daemon and an Ethernet device.
Latencies tcpPingPong(size_t frameSize, int rounds);

// Seconds to move messages of this size one way through a queue between two processes.
double queueSeconds(size_t messageSize, size_t messages);

// Seconds to move bytes one way through a TCP connection on loopback, sent in pieces of this size.
double tcpSeconds(size_t bytes, size_t pieceSize);

} // namespace qor::bench
