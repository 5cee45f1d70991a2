// Sporadic frames: commands 0x64 (define), 0x65 (delete), 0x66 (activation) and 0x67 (state).
#include <cstdint>

#include "frame_slots.hpp"
#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_event_frames.h"

namespace qor::lin {
namespace {

constexpr uint8_t kDefineCommand = 0x64;
constexpr uint8_t kDeleteCommand = 0x65;
constexpr uint8_t kActivationCommand = 0x66;
constexpr uint8_t kStateCommand = 0x67;
constexpr uint32_t kDefinitionHead = 8;

uint32_t define(const kit::Call& call, uint8_t frameId, uint16_t count, const uint8_t* frameIds) {
  uint32_t parameterLength = 0;
  if (uint32_t code = checkFrameCount(call, kDefinitionHead, count, &parameterLength)) return code;
  kit::RecordWriter record(parameterLength);
  record.u8(frameId).zeros(5).u16(count);
  return sendFrameList(call, kDefineCommand, record, count, frameIds);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_SporadicFrames_Define(uint32_t port, uint8_t frameId, uint16_t count, const uint8_t* frameIds) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::define(call, frameId, count, frameIds);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_SporadicFrames_Delete(uint32_t port, uint8_t frameId) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendByteRecord(call, qor::lin::kDeleteCommand, frameId);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_SporadicFrames_Activate(uint32_t port, uint8_t frameId, uint8_t option) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendActivation(call, qor::lin::kActivationCommand, frameId, true, option);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_SporadicFrames_Deactivate(uint32_t port, uint8_t frameId, uint8_t option) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendActivation(call, qor::lin::kActivationCommand, frameId, false, option);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_SporadicFrames_GetState(uint32_t port, uint8_t frameId, uint8_t selector, uint32_t* state) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::readSlotState(call, qor::lin::kStateCommand, frameId, selector, state);
} catch (...) {
  return kLin.failedCall(port);
}
