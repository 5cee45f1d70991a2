// Waiting for a state of the firmware by asking again: step() answers "not yet" (empty) or a final code; between
// tries the caller sleeps interval milliseconds. The wait ends when more than timeout milliseconds passed since the
// start (the call's own, or one the caller took earlier, e.g. when several waits share one time-out), on the monotonic
// clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

namespace qor::kit {

// The step's final code, or empty when the time ran out first. The step runs at least once.
template <class Step>
std::optional<uint32_t> pollUntil(std::chrono::steady_clock::time_point start, uint32_t timeoutMs,
                                  uint32_t intervalMs, Step step) {
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (std::optional<uint32_t> result = step()) return result;
    if (std::chrono::steady_clock::now() - start > timeout) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
  }
}

template <class Step>
std::optional<uint32_t> pollUntil(uint32_t timeoutMs, uint32_t intervalMs, Step step) {
  return pollUntil(std::chrono::steady_clock::now(), timeoutMs, intervalMs, step);
}

}  // namespace qor::kit
