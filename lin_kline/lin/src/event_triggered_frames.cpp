// Event-triggered frames: commands 0x68 (define), 0x69 (delete), 0x6A (activation) and 0x6B (state, byte 1 = 0, or
// the collision-resolving table, byte 1 = 1).
#include <cstdint>

#include "frame_slots.hpp"
#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_event_frames.h"

namespace qor::lin {
namespace {

constexpr uint8_t kDefineCommand = 0x68;
constexpr uint8_t kDeleteCommand = 0x69;
constexpr uint8_t kActivationCommand = 0x6A;
constexpr uint8_t kStateOrTableCommand = 0x6B;
constexpr uint8_t kSelectsTable = 1;
constexpr uint32_t kDefinitionHead = 12;

uint32_t define(const kit::Call& call, uint8_t frameId, uint32_t flags, uint8_t a, uint8_t b, uint16_t count,
                const uint8_t* frameIds) {
  uint32_t parameterLength = 0;
  if (uint32_t code = checkFrameCount(call, kDefinitionHead, count, &parameterLength)) return code;
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  kit::RecordWriter record(parameterLength);
  record.u8(frameId).zeros(3).u8(a).u8(b).u8(static_cast<uint8_t>(flags)).u8(0).u16(0).u16(count);
  return sendFrameList(call, kDefineCommand, record, count, frameIds);
}

uint32_t setCollisionResolvingTable(const kit::Call& call, uint8_t frameId, uint8_t table) {
  kit::RecordWriter record(8);
  record.u8(frameId).u8(kSelectsTable).zeros(2).u8(table).zeros(3);
  return call.send(kStateOrTableCommand, record);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_EventTriggeredFrames_Define(uint32_t port, uint8_t frameId, uint32_t flags, uint8_t a, uint8_t b,
                                             uint16_t count, const uint8_t* frameIds) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::define(call, frameId, flags, a, b, count, frameIds);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_EventTriggeredFrames_Delete(uint32_t port, uint8_t frameId) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendByteRecord(call, qor::lin::kDeleteCommand, frameId);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_EventTriggeredFrames_Activate(uint32_t port, uint8_t frameId, uint8_t option) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendActivation(call, qor::lin::kActivationCommand, frameId, true, option);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_EventTriggeredFrames_Deactivate(uint32_t port, uint8_t frameId, uint8_t option) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendActivation(call, qor::lin::kActivationCommand, frameId, false, option);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_EventTriggeredFrames_GetState(uint32_t port, uint8_t frameId, uint8_t selector, uint32_t* state) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::readSlotState(call, qor::lin::kStateOrTableCommand, frameId, selector, state);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_EventTriggeredFrames_SetCollisionResolvingTable(uint32_t port, uint8_t frameId, uint8_t table) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::setCollisionResolvingTable(call, frameId, table);
} catch (...) {
  return kLin.failedCall(port);
}
