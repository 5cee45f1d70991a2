// What event-triggered and sporadic frames share: a list of unconditional frames in one record, their activation and
// their state query. Each kind has its own commands.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::lin {

// The port's maximum parameter length, then the count against the ids that fit behind a head of headBytes in one
// record: "invalid parameter" naming that maximum.
uint32_t checkFrameCount(const kit::Call& call, uint32_t headBytes, uint16_t count, uint32_t* parameterLength);
// The record (its head written) with count frame ids appended, each widened to a u32; null ids with a count are
// "invalid parameter".
uint32_t sendFrameList(const kit::Call& call, uint8_t command, kit::RecordWriter& record, uint16_t count,
                       const uint8_t* frameIds);

// {id, 1 or 0, option, 0}.
uint32_t sendActivation(const kit::Call& call, uint8_t command, uint8_t frameId, bool active, uint8_t option);

// {id, 0, 0, 0, selector, 0, 0, 0}, the answer keyed by its first two bytes; *state is 1 when bit 0 of answer byte 4
// is set, else 0 (also on every failure).
uint32_t readSlotState(const kit::Call& call, uint8_t command, uint8_t frameId, uint8_t selector, uint32_t* state);

}  // namespace qor::lin
