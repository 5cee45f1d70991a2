#include "driver_support.hpp"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace qor::emulator {

std::string pathOfDescriptor(int descriptor) {
  char link[PATH_MAX];
  const std::string proc = "/proc/self/fd/" + std::to_string(descriptor);
  const ssize_t length = readlink(proc.c_str(), link, sizeof link - 1);
  return length > 0 ? std::string(link, static_cast<size_t>(length)) : std::string();
}

bool sleepWhileWordIs(const volatile uint32_t* word, uint32_t value, std::chrono::steady_clock::time_point deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::nanoseconds::zero()) return false;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const timespec wait{seconds.count(), std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count()};
  syscall(SYS_futex, word, FUTEX_WAIT, value, &wait, nullptr, 0);
  return true;
}

void wakeWordSleepers(const volatile uint32_t* word) { syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

}  // namespace qor::emulator
