#include <syslog.h>

#include "qor_helpers.h"

namespace {

void setFlag(pthread_mutex_t* mutex, pthread_cond_t* condition, uint32_t* flag, uint32_t value, bool broadcast) {
  int rc = pthread_mutex_lock(mutex);
  if (rc != 0) {
    syslog(LOG_ERR, "%s :error %d from pthread_mutex_lock", "Qor_Internal_SetEvent", rc);
  }
  *flag = value;
  if (broadcast) pthread_cond_broadcast(condition);
  // A mutex we could not lock is not ours to unlock.
  if (rc == 0) pthread_mutex_unlock(mutex);
}

} // namespace

extern "C" {

void Qor_Internal_SetEvent(InternalEvent* event) {
  setFlag(event->mutex, event->condition, &event->signalled, 1, true);
}

void Qor_External_SetEvent(ExternalEvent* event) {
  setFlag(&event->mutex, &event->condition, &event->signalled, 1, true);
}

void Qor_Internal_ResetEvent(InternalEvent* event) {
  setFlag(event->mutex, event->condition, &event->signalled, 0, false);
}

} // extern "C"
