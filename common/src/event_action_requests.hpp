// Command 0x78 of the event/action engine: its sub-functions, and the requests that describe an event or an action,
// built from the caller's description after checking it.
#pragma once

#include <cstdint>

#include "qor_common_event_action.h"
#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::common {

inline constexpr uint8_t kEventActionCommand = 0x78;
// The low byte of the sub-function is the control byte that keys the answer.
inline constexpr uint8_t kEventActionControlBytes = 1;
inline constexpr uint32_t kEventActionAnswerCapacity = 16;
// An event of type 0x702 or 0x703 with 255 identifiers and 255 data bytes.
inline constexpr uint32_t kLongestEventRequest = 1550;
inline constexpr uint32_t kLongestActionRequest = 20;

enum EventActionSub : uint32_t {
  kResetAll = 0,
  kAllocateEvent = 1,
  kAllocateAction = 2,
  kInitEvent = 3,
  kInitAction = 4,
  kAssignAction = 5,
  kDeleteEvent = 8,
  kDeleteAction = 9,
  kExecuteAction = 10,
  kCancelAction = 11,
  kSetEventProperty = 12,
  kGetEventProperty = 13,
  kAllocateEventByHandle = 14,
  kAllocateActionByHandle = 15,
  kSetActionProperty = 16,
  kGetActionProperty = 17,
  kSimulateEvent = 18,
};

// Checks the description in the order the callers rely on, then writes the whole request (sub-function 3). Returns 0,
// or the first failure recorded for the call's port with nothing written.
uint32_t writeInitEvent(const kit::Call& call, const Qor_Common_EA_EventConfig_t& event, kit::RecordWriter& record);
// The same for an action (sub-function 4).
uint32_t writeInitAction(const kit::Call& call, const Qor_Common_EA_ActionConfig_t& action, kit::RecordWriter& record);

}  // namespace qor::common
