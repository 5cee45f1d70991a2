#include <cerrno>
#include <cstdlib>
#include <syslog.h>

#include "qor_helpers.h"

namespace {
constexpr uint32_t kInitialised = 1u << 0;
}

extern "C" {

void Qor_InitializeCriticalSection(Qor_CriticalSection_t* section) {
  int rc = pthread_mutexattr_init(&section->attributes);
  if (rc != 0) exit(rc);
  rc = pthread_mutexattr_settype(&section->attributes, PTHREAD_MUTEX_RECURSIVE);
  if (rc != 0) exit(rc);
  rc = pthread_mutex_init(&section->mutex, &section->attributes);
  if (rc != 0 && rc != EBUSY) exit(rc);
  section->flags |= kInitialised;
}

void Qor_EnterCriticalSection(Qor_CriticalSection_t* section) {
  if (!(section->flags & kInitialised)) return;
  int rc = pthread_mutex_lock(&section->mutex);
  if (rc != 0) exit(rc);
}

void Qor_LeaveCriticalSection(Qor_CriticalSection_t* section) {
  if (!(section->flags & kInitialised)) return;
  int rc = pthread_mutex_unlock(&section->mutex);
  if (rc != 0) {
    syslog(LOG_ERR, "%s : Error %d\n", "Qor_LeaveCriticalSection", rc);
    if (rc == EPERM) syslog(LOG_ERR, "The current thread does not own the mutex.\n");
  }
}

void Qor_DeleteCriticalSection(Qor_CriticalSection_t* section) {
  section->flags &= ~kInitialised;
  int rc = pthread_mutex_destroy(&section->mutex);
  if (rc != 0) {
    errno = rc;
    syslog(LOG_ERR, "%s (%d): rc = %d , %m", "Qor_DeleteCriticalSection", 274, rc);
  }
  rc = pthread_mutexattr_destroy(&section->attributes);
  if (rc != 0) {
    errno = rc;
    syslog(LOG_ERR, "%s (%d): rc = %d , %m", "Qor_DeleteCriticalSection", 285, rc);
  }
}

} // extern "C"
