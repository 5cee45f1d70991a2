#include <memory>
#include <new>

#include "common_library.hpp"
#include "qor_async.h"
#include "qor_common_events.h"
#include "qor_kit/call.hpp"

using qor::common::kCommon;

namespace {

ExternalEvent* eventOf(void* const* event) { return static_cast<ExternalEvent*>(*event); }

}  // namespace

uint32_t Qor_Common_Events_AllocateEvent(uint32_t port, void** event) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  // The core initialises the record in place, so there must be one before it is called.
  std::unique_ptr<ExternalEvent> record(new (std::nothrow) ExternalEvent{});
  if (!record) return call.fail(kCommon.code(qor::common::kNotEnoughMemory));
  if (uint32_t code = Qor_Events_AllocateEvent(port, 0, record.get())) return code;
  *event = record.release();
  return 0;
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Events_DeallocateEvent(uint32_t port, void** event) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  if (uint32_t code = Qor_Events_DeallocateEvent(port, eventOf(event))) return code;
  delete eventOf(event);
  // The caller's variable no longer names a record: a second release or a wait through it finds NULL.
  *event = nullptr;
  return 0;
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Events_WaitForSingleEvent(uint32_t port, void** event, uint32_t milliseconds) try {
  const qor::kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  return Qor_Events_WaitForSingleEvent(port, eventOf(event), milliseconds);
} catch (...) {
  return kCommon.failedCall(port);
}
