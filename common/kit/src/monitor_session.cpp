#include "qor_kit/monitor_session.hpp"

#include <atomic>

namespace qor::kit {
namespace {

// The context's bytes hold one pointer, zero until installed: written by the starting thread while the core's
// delivering thread may already read it.
std::atomic_ref<MonitorSession*> slotOf(void* context) { return std::atomic_ref(*static_cast<MonitorSession**>(context)); }

}  // namespace

void deliverToSession(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  if (MonitorSession* session = sessionIn(context)) session->deliver(port, std::span(data, length));
}

void installSession(void* context, std::unique_ptr<MonitorSession> session) {
  slotOf(context).store(session.release(), std::memory_order_release);
}

MonitorSession* sessionIn(void* context) {
  return context == nullptr ? nullptr : slotOf(context).load(std::memory_order_acquire);
}

std::unique_ptr<MonitorSession> takeSession(void* context) {
  if (context == nullptr) return nullptr;
  return std::unique_ptr<MonitorSession>(slotOf(context).exchange(nullptr, std::memory_order_acq_rel));
}

}  // namespace qor::kit
