#include <syslog.h>

#include "qor_helpers.h"

namespace {

enum class Wake { None, UnderLock, AfterUnlock };

void setFlag(pthread_mutex_t* mutex, pthread_cond_t* condition, uint32_t* flag, uint32_t value, Wake wake) {
  int rc = pthread_mutex_lock(mutex);
  if (rc != 0) {
    syslog(LOG_ERR, "%s :error %d from pthread_mutex_lock", "Qor_Internal_SetEvent", rc);
  }
  *flag = value;
  if (wake == Wake::UnderLock) pthread_cond_broadcast(condition);
  // A mutex we could not lock is not ours to unlock.
  if (rc == 0) pthread_mutex_unlock(mutex);
  if (wake == Wake::AfterUnlock) pthread_cond_broadcast(condition);
}

} // namespace

extern "C" {

// The pair of an internal event lives as long as the threads that wait on it: woken after the unlock, a waiter
// does not block at once on the mutex still held.
void Qor_Internal_SetEvent(InternalEvent* event) {
  setFlag(event->mutex, event->condition, &event->signalled, 1, Wake::AfterUnlock);
}

// A user's event may be destroyed as soon as its waiter returns: it is woken while the mutex is held.
void Qor_External_SetEvent(ExternalEvent* event) {
  setFlag(&event->mutex, &event->condition, &event->signalled, 1, Wake::UnderLock);
}

void Qor_Internal_ResetEvent(InternalEvent* event) {
  setFlag(event->mutex, event->condition, &event->signalled, 0, Wake::None);
}

} // extern "C"
