// User events: allocated by the application in its own memory, waited on by one of its threads, set by the
// library (monitor data) or by the application.
#include <cerrno>
#include <cstring>

#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

extern "C" {

uint32_t Qor_Events_AllocateEvent(uint32_t port, uint32_t flags, ExternalEvent* event) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (flags > 1) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_UNKNOWN_FLAG,
                                   "unknown command flag in command 'Qor_Events_Allocate_Event'");
  }
  if (event == nullptr) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  pthread_condattr_t attributes;
  int rc = pthread_condattr_init(&attributes);
  // Waits run on the monotonic clock: a step of the wall clock neither cuts nor stretches them.
  if (rc == 0) rc = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  if (rc == 0) rc = pthread_cond_init(&event->condition, &attributes);
  pthread_condattr_destroy(&attributes);
  if (rc == 0) {
    rc = pthread_mutex_init(&event->mutex, nullptr);
    if (rc != 0) pthread_cond_destroy(&event->condition);
  }
  if (rc != 0) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_CREATE_EVENT, "%s", strerror(rc));
  event->signalled = 0;
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Events_DeallocateEvent(uint32_t port, ExternalEvent* event) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (event == nullptr) return 0;
  int rc = pthread_cond_destroy(&event->condition);
  if (rc == 0) rc = pthread_mutex_destroy(&event->mutex);
  if (rc != 0) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_EVENT_ERROR, "could not deallocate event - 0x%x - %s",
                                   static_cast<unsigned>(rc), strerror(rc));
  }
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Events_WaitForSingleEvent(uint32_t port, ExternalEvent* event, uint32_t milliseconds) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (event == nullptr) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  const timespec deadline = qor::monotonicDeadline(milliseconds);
  int rc = 0;
  bool set = false;
  {
    qor::MutexLock lock(event->mutex);
    while (!event->signalled && rc == 0) rc = pthread_cond_timedwait(&event->condition, lock.native(), &deadline);
    set = event->signalled != 0;
    event->signalled = 0;
  }
  if (set) return 0;
  if (rc == ETIMEDOUT) return storeError(&ref.entry(), QOR_ERR_API_EVENT_TIMEOUT, "");
  return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_EVENT_ERROR, "'pthread_cond_timedwait' returned with '%d' - %s",
                                 rc, strerror(rc));
} catch (...) {
  return failedCall(port);
}

} // extern "C"
