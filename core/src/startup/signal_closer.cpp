#include "startup/signal_closer.hpp"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "qor_helpers.h"

namespace qor::client {
namespace {

std::atomic<int> gWakeUp{-1};
std::atomic<bool> gStopping{false};
pthread_t gThread = 0;
std::mutex gStartLock;

void* closerThread(void*) {
  const int fd = gWakeUp.load();
  for (;;) {
    uint64_t count = 0;
    if (read(fd, &count, sizeof count) != sizeof count) continue;
    if (gStopping.load()) return nullptr;
    closeAllPortsAfterSignal();
  }
}

} // namespace

void SignalCloser::ensureStarted() {
  std::lock_guard lock(gStartLock);
  if (gThread != 0 || gStopping.load()) return;
  const int fd = eventfd(0, EFD_CLOEXEC);
  if (fd < 0) return;
  gWakeUp.store(fd);
  gThread = Qor_Internal_Thread_Start(closerThread, "ClientSignalCloser", nullptr);
  if (gThread == 0) {
    gWakeUp.store(-1);
    close(fd);
  }
}

void SignalCloser::requestFromSignal() {
  const int fd = gWakeUp.load();
  if (fd < 0) return; // no port was ever opened: nothing to close
  const uint64_t one = 1;
  const int savedErrno = errno;
  [[maybe_unused]] ssize_t written = write(fd, &one, sizeof one);
  errno = savedErrno;
}

void SignalCloser::stop() {
  std::lock_guard lock(gStartLock);
  gStopping.store(true);
  if (gThread == 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(gWakeUp.load(), &one, sizeof one);
  pthread_join(gThread, nullptr);
  gThread = 0;
  close(gWakeUp.exchange(-1));
}

} // namespace qor::client
