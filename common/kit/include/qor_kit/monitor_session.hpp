// What a library keeps for one monitor instance of the core (Qor_Monitor_Init): a session object reached through
// the instance's callback context, and a clean-up per instance number, so that the library forgets the instance
// whoever ends it: the library itself, the application through Qor_CloseMonitor, a new start or the port's close.
//
//   void* context = nullptr;
//   Qor_Monitor_Init(port, QOR_MONITOR_CALLBACK_MODE, kit::deliverToSession, kit::instanceCleanup<closed>(instance),
//                    kit::kMonitorSessionContextBytes, &context);
//   kit::installSession(context, std::make_unique<MySession>(...));
//
// The core may deliver a block as soon as the instance is set up, before the session is installed (a frame of an
// earlier monitor still on its way): such a block finds no session and is dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "qor_monitor.h"

namespace qor::kit {

class MonitorSession {
 public:
  virtual ~MonitorSession() = default;
  // On the core's thread that delivers monitor data, under the core's monitor section.
  virtual void deliver(uint32_t port, std::span<const uint8_t> block) = 0;
};

// The callback context a session needs: room for the pointer to it.
inline constexpr uint32_t kMonitorSessionContextBytes = sizeof(MonitorSession*);

// Qor_Monitor_Callback_t of an instance whose context holds a session.
void deliverToSession(uint32_t port, void* context, const uint8_t* data, uint32_t length);

// Makes the session the context's; from then on blocks reach it.
void installSession(void* context, std::unique_ptr<MonitorSession> session);
// The context's session; none before it is installed or for no context.
MonitorSession* sessionIn(void* context);
// Takes the session out of the context (in the clean-up, which then destroys it).
std::unique_ptr<MonitorSession> takeSession(void* context);

// A clean-up for Qor_Monitor_Init that calls closed(port, instance, context) with the instance it was made for.
using InstanceClosed = void (*)(uint32_t port, uint8_t instance, void* context);

template <InstanceClosed closed, uint8_t instance>
void closedInstance(uint32_t port, void* context) {
  closed(port, instance, context);
}

template <InstanceClosed closed>
Qor_Monitor_Cleanup_t instanceCleanup(uint8_t instance) {
  static_assert(QOR_MONITOR_INSTANCES == 4, "one clean-up per instance");
  constexpr Qor_Monitor_Cleanup_t kCleanups[] = {closedInstance<closed, 0>, closedInstance<closed, 1>,
                                                 closedInstance<closed, 2>, closedInstance<closed, 3>};
  return instance < QOR_MONITOR_INSTANCES ? kCleanups[instance] : nullptr;
}

}  // namespace qor::kit
