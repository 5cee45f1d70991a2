#include <initializer_list>
#include <vector>

#include "common_library.hpp"
#include "event_action_requests.hpp"
#include "qor_common_event_action.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

using kit::GeneralError;

// Allocations ask for objects of this kind.
constexpr uint32_t kObjectKind = 0x100;

// Where events and actions differ; everything else is the same for both.
struct ObjectKind {
  EventActionSub allocate;
  EventActionSub allocateByHandle;
  EventActionSub remove;
  EventActionSub setProperty;
  EventActionSub getProperty;
  uint16_t lastPropertyId;
  const char* unknownProperty;  // format with the id
};

constexpr ObjectKind kEvents{kAllocateEvent,
                             kAllocateEventByHandle,
                             kDeleteEvent,
                             kSetEventProperty,
                             kGetEventProperty,
                             5,
                             "event property id %u is unknown"};
constexpr ObjectKind kActions{kAllocateAction,
                              kAllocateActionByHandle,
                              kDeleteAction,
                              kSetActionProperty,
                              kGetActionProperty,
                              0,
                              "action property id %u is unknown"};

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kEventActionCommand, kEventActionControlBytes, record, answer, kEventActionAnswerCapacity);
}

// A request of u32 words whose answer is not looked at.
uint32_t sendWords(const kit::Call& call, std::initializer_list<uint32_t> words) {
  kit::RecordWriter record(4 * words.size());
  for (uint32_t word : words) record.u32(word);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

// The same for a request without checks of its own.
uint32_t command(const kit::Call& call, std::initializer_list<uint32_t> words) {
  if (uint32_t code = call.checkPort()) return code;
  return sendWords(call, words);
}

uint32_t allocate(const kit::Call& call, const ObjectKind& kind, uint32_t* handle) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(handle, "handle")) return code;
  kit::RecordWriter record(8);
  record.u32(kind.allocate).u32(kObjectKind);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(12)) return call.shortAnswer(reader);
  *handle = reader.u32(8);
  return 0;
}

uint32_t remove(const kit::Call& call, const ObjectKind& kind, uint32_t mode, uint32_t handle) {
  if (uint32_t code = call.checkPort()) return code;
  if (mode > 1) return call.fail(GeneralError::UnknownFlag);
  return sendWords(call, {kind.remove, mode, handle});
}

uint32_t checkPropertyId(const kit::Call& call, const ObjectKind& kind, uint16_t id) {
  return id > kind.lastPropertyId ? call.fail(GeneralError::InvalidParameter, kind.unknownProperty, unsigned{id}) : 0;
}

uint32_t checkProperty(const kit::Call& call, const ObjectKind& kind, const Qor_Common_EA_Property_t& property) {
  if (uint32_t code = call.checkReserved(property.reserved6, "reserved bytes have to be zero")) return code;
  return checkPropertyId(call, kind, property.propertyId);
}

uint32_t setProperty(const kit::Call& call, const ObjectKind& kind, const Qor_Common_EA_Property_t* property) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(property, "property")) return code;
  if (uint32_t code = checkProperty(call, kind, *property)) return code;
  kit::RecordWriter record(16);
  record.u32(kind.setProperty).u32(property->handle).u16(property->propertyId).u16(0).u32(property->value);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t getProperty(const kit::Call& call, const ObjectKind& kind, const Qor_Common_EA_Property_t* request,
                     Qor_Common_EA_Property_t* result) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = checkProperty(call, kind, *request)) return code;
  kit::RecordWriter record(12);
  record.u32(kind.getProperty).u32(request->handle).u16(request->propertyId).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  // {u32 sub-function, u32 handle, u16 property id, u16, u32 value}
  const kit::AnswerReader reader(answer);
  if (!reader.has(16)) return call.shortAnswer(reader);
  const uint16_t id = reader.u16(8);
  if (uint32_t code = checkPropertyId(call, kind, id)) return code;
  *result = Qor_Common_EA_Property_t{reader.u32(4), id, 0, reader.u32(12)};
  return 0;
}

uint32_t initEvent(const kit::Call& call, const Qor_Common_EA_EventConfig_t* event) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  kit::RecordWriter record(kLongestEventRequest);
  if (uint32_t code = writeInitEvent(call, *event, record)) return code;
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t initAction(const kit::Call& call, const Qor_Common_EA_ActionConfig_t* action) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(action, "action")) return code;
  kit::RecordWriter record(kLongestActionRequest);
  if (uint32_t code = writeInitAction(call, *action, record)) return code;
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t simulate(const kit::Call& call, const Qor_Common_EA_SimulatedEvent_t* event) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(event, "event")) return code;
  if (uint32_t code = call.checkFlags(event->flags, 0)) return code;
  return sendWords(call, {kSimulateEvent, 0, event->handle});
}

}  // namespace
}  // namespace qor::common

using qor::common::kActions;
using qor::common::kCommon;
using qor::common::kEvents;
using qor::kit::Call;

uint32_t Qor_Common_EA_ResetAll(uint32_t port) try {
  return qor::common::command(Call(kCommon, port), {qor::common::kResetAll});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_AllocateEvent(uint32_t port, uint32_t* handle) try {
  return qor::common::allocate(Call(kCommon, port), kEvents, handle);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_AllocateAction(uint32_t port, uint32_t* handle) try {
  return qor::common::allocate(Call(kCommon, port), kActions, handle);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_AllocateEventByHandle(uint32_t port, uint32_t handle) try {
  return qor::common::command(Call(kCommon, port), {kEvents.allocateByHandle, qor::common::kObjectKind, handle});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_AllocateActionByHandle(uint32_t port, uint32_t handle) try {
  return qor::common::command(Call(kCommon, port), {kActions.allocateByHandle, qor::common::kObjectKind, handle});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_InitEvent(uint32_t port, const Qor_Common_EA_EventConfig_t* event) try {
  return qor::common::initEvent(Call(kCommon, port), event);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_InitAction(uint32_t port, const Qor_Common_EA_ActionConfig_t* action) try {
  return qor::common::initAction(Call(kCommon, port), action);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_AssignActionToEvent(uint32_t port, uint32_t actionHandle, uint32_t eventHandle) try {
  // The firmware takes the event first.
  return qor::common::command(Call(kCommon, port), {qor::common::kAssignAction, eventHandle, actionHandle});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_DeleteEvent(uint32_t port, uint32_t mode, uint32_t handle) try {
  return qor::common::remove(Call(kCommon, port), kEvents, mode, handle);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_DeleteAction(uint32_t port, uint32_t mode, uint32_t handle) try {
  return qor::common::remove(Call(kCommon, port), kActions, mode, handle);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_ExecuteAction(uint32_t port, uint32_t handle) try {
  return qor::common::command(Call(kCommon, port), {qor::common::kExecuteAction, handle});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_CancelAction(uint32_t port, uint32_t handle) try {
  return qor::common::command(Call(kCommon, port), {qor::common::kCancelAction, handle});
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_SetEventProperty(uint32_t port, const Qor_Common_EA_Property_t* property) try {
  return qor::common::setProperty(Call(kCommon, port), kEvents, property);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_GetEventProperty(uint32_t port, const Qor_Common_EA_Property_t* request,
                                        Qor_Common_EA_Property_t* result) try {
  return qor::common::getProperty(Call(kCommon, port), kEvents, request, result);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_SetActionProperty(uint32_t port, const Qor_Common_EA_Property_t* property) try {
  return qor::common::setProperty(Call(kCommon, port), kActions, property);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_GetActionProperty(uint32_t port, const Qor_Common_EA_Property_t* request,
                                         Qor_Common_EA_Property_t* result) try {
  return qor::common::getProperty(Call(kCommon, port), kActions, request, result);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_EA_SimulateEvent(uint32_t port, const Qor_Common_EA_SimulatedEvent_t* event) try {
  return qor::common::simulate(Call(kCommon, port), event);
} catch (...) {
  return kCommon.failedCall(port);
}
