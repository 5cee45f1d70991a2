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
  for (InternalEvent* event : {&c.events.acknowledge, &c.events.response, &c.events.lockGranted, &c.events.lockReleased, &c.events.error, &c.events.monitorStarted,
                               &c.events.monitorStopped, &c.events.fpgaReply, &c.events.apixReply, &c.events.monitorLockGranted,
                               &c.events.monitorLockReleased}) {
    visit(*event);
  }
}

} // namespace

uint32_t createEvents(Qor_PortContext& context) {
  if (!context.events.pair.created() || !context.receiving.threadCondition.created()) return QOR_ERR_API_CREATE_EVENT;
  forEachEvent(context, [&](InternalEvent& event) { event = context.events.pair.event(); });
  return 0;
}

void signalError(Qor_PortContext& context, uint32_t code) {
  {
    MutexLock lock(context.events.pair.mutex());
    context.events.errorCode = code;
    context.events.error.signalled = 1;
  }
  pthread_cond_broadcast(&context.events.pair.condition());
}

void clearExchangeEvents(Qor_PortContext& context) {
  MutexLock lock(context.events.pair.mutex());
  context.events.acknowledge.signalled = 0;
  context.events.response.signalled = 0;
  context.events.error.signalled = 0;
  context.events.errorCode = 0;
}

} // namespace qor::client
