#include "ports/port_events.hpp"

#include <cerrno>
#include <initializer_list>

#include "startup/error_store.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/scoped_lock.hpp"

namespace qor::client {
namespace {

template <class Visit>
void forEachEvent(Qor_PortContext& c, Visit visit) {
  for (InternalEvent* event : {&c.acknowledge, &c.response, &c.lockGranted, &c.lockReleased, &c.error, &c.monitorStarted,
                               &c.monitorStopped, &c.fpgaReply, &c.apixReply, &c.monitorLockGranted,
                               &c.monitorLockReleased}) {
    visit(*event);
  }
}

} // namespace

uint32_t createEvents(Qor_PortContext& context) {
  if (!context.eventPair.created()) return QOR_ERR_API_CREATE_EVENT;
  forEachEvent(context, [&](InternalEvent& event) { event = context.eventPair.event(); });
  return 0;
}

void signalError(Qor_PortContext& context, uint32_t code) {
  MutexLock lock(context.eventPair.mutex());
  context.errorEventCode = code;
  context.error.signalled = 1;
  pthread_cond_broadcast(&context.eventPair.condition());
}

void clearExchangeEvents(Qor_PortContext& context) {
  MutexLock lock(context.eventPair.mutex());
  context.acknowledge.signalled = 0;
  context.response.signalled = 0;
  context.error.signalled = 0;
  context.errorEventCode = 0;
}

uint32_t waitForEvent(Qor_PortInfo_t& entry, InternalEvent& event, uint32_t milliseconds) {
  Qor_PortContext& context = *portContext(entry);
  const timespec deadline = monotonicDeadline(milliseconds);
  MutexLock lock(context.eventPair.mutex());
  for (;;) {
    if (event.signalled) {
      event.signalled = 0;
      return 0;
    }
    if (context.error.signalled) {
      context.error.signalled = 0;
      return context.errorEventCode;
    }
    if (pthread_cond_timedwait(&context.eventPair.condition(), lock.native(), &deadline) == ETIMEDOUT && !event.signalled &&
        !context.error.signalled) {
      lock.unlock();
      return storeError(&entry, QOR_ERR_API_NO_RESPONSE, "");
    }
  }
}

} // namespace qor::client
