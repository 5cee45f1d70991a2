/* A user event: a flag guarded by a mutex and signalled through a condition variable, in memory the application
 * provides (Qor_Events_AllocateEvent, Qor_Monitor_EnableEvent). */
#ifndef QOR_USER_EVENT_H
#define QOR_USER_EVENT_H

#include <pthread.h>

#include "qor_types.h"

QOR_BEGIN_DECLS

typedef struct ExternalEvent {
  pthread_cond_t condition;
  pthread_mutex_t mutex;
  uint32_t signalled;
} ExternalEvent;

QOR_END_DECLS

#endif
