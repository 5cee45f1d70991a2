// Absolute deadlines for the timed waits of POSIX queues and condition variables.
#pragma once

#include <cstdint>
#include <ctime>

namespace qor {

inline timespec deadlineOn(clockid_t clock, uint64_t milliseconds) {
  timespec now{};
  clock_gettime(clock, &now);
  const uint64_t nanoseconds = static_cast<uint64_t>(now.tv_nsec) + (milliseconds % 1000) * 1000000ull;
  now.tv_sec += static_cast<time_t>(milliseconds / 1000 + nanoseconds / 1000000000ull);
  now.tv_nsec = static_cast<long>(nanoseconds % 1000000000ull);
  return now;
}

// POSIX queue waits take the realtime clock.
inline timespec realtimeDeadline(uint64_t milliseconds) { return deadlineOn(CLOCK_REALTIME, milliseconds); }

// Condition variables of this system wait on the monotonic clock, so clock steps never cut or stretch a wait.
inline timespec monotonicDeadline(uint64_t milliseconds) { return deadlineOn(CLOCK_MONOTONIC, milliseconds); }

} // namespace qor
