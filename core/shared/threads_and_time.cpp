#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <syslog.h>

#include "qor_helpers.h"

extern "C" {

pthread_t Qor_Internal_Thread_Start(void* (*routine)(void*), const char* name, void* argument) {
  pthread_attr_t attributes;
  int rc = pthread_attr_init(&attributes);
  if (rc != 0) {
    if (rc == EINVAL) syslog(LOG_ERR, "%s : The value specified by attr is invalid.\r\n", name);
    return 0;
  }
  pthread_t thread = 0;
  rc = pthread_create(&thread, &attributes, routine, argument);
  if (rc != 0) {
    if (rc == EINVAL) syslog(LOG_ERR, "%s : The value specified by attr is invalid.\r\n", name);
    thread = 0;
  }
  int destroyed = pthread_attr_destroy(&attributes);
  if (destroyed != 0) syslog(LOG_ERR, "%s : error %d at pthread_attr_destroy\r\n", name, destroyed);
  return thread;
}

double GetTickCount(void) {
  struct timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0.0;
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct timespec ns_to_timespec(int64_t nanoseconds) {
  constexpr int64_t kPerSecond = 1000000000;
  struct timespec result;
  int64_t seconds = nanoseconds / kPerSecond;
  int64_t rest = nanoseconds % kPerSecond;
  if (rest < 0) {
    seconds -= 1;
    rest += kPerSecond;
  }
  result.tv_sec = static_cast<time_t>(seconds);
  result.tv_nsec = static_cast<long>(rest);
  return result;
}

char* itoa(int64_t value, char* text) {
  snprintf(text, 21, "%" PRId64, value);
  return text;
}

} // extern "C"
