// What the trigger input does (command 0x5A) and what drives the trigger output (command 0x5B).
#include "can_library.hpp"
#include "qor_can_triggers.h"

namespace qor::can {
namespace {

constexpr uint8_t kInputModeCommand = 0x5A;
constexpr uint8_t kOutputModeCommand = 0x5B;
constexpr uint8_t kInputReset = 0;
constexpr uint8_t kInputSendsGroup = 2;
constexpr uint8_t kInputWritesEvent = 3;
constexpr uint8_t kOnlyGroup = 1;
constexpr uint8_t kHighestInputLevel = 1;
constexpr uint8_t kHighestInputEdge = 2;
constexpr uint8_t kHighestOutputMode = 3;
constexpr uint8_t kHighestTriggerAction = 2;
constexpr uint8_t kHighestOutputType = 1;

uint32_t sendInputMode(const kit::Call& call, uint8_t mode, uint8_t edge, uint8_t level) {
  kit::RecordWriter record(4);
  record.u8(mode).u8(0).u8(edge).u8(level);
  return call.send(kInputModeCommand, record);
}

uint32_t inputSendsGroup(const kit::Call& call, uint32_t flags, uint8_t group, uint8_t inputLevel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (group != kOnlyGroup) return call.fail(kCan.code(kInvalidGroupNumber), "currently only group 1 is supported");
  if (inputLevel > kHighestInputLevel) {
    return call.fail(kit::GeneralError::InvalidParameter, "input level selection value is unknown");
  }
  return sendInputMode(call, kInputSendsGroup, 0, inputLevel);
}

uint32_t inputWritesEvent(const kit::Call& call, uint32_t flags, uint8_t inputEdge) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (inputEdge > kHighestInputEdge) {
    return call.fail(kit::GeneralError::InvalidParameter, "input edge selection value is unknown");
  }
  return sendInputMode(call, kInputWritesEvent, inputEdge, 0);
}

uint32_t resetInput(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return sendInputMode(call, kInputReset, 0, 0);
}

uint32_t setOutputMode(const kit::Call& call, const Qor_Can_Trigger_OutputMode_t* mode) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(mode, "mode")) return code;
  if (uint32_t code = call.checkFlags(mode->flags, 0)) return code;
  if (uint32_t code = call.checkReserved(mode->reserved, "reserved bytes must be zero")) return code;
  if (mode->outputMode > kHighestOutputMode) return call.fail(kit::GeneralError::UnknownMode);
  if (mode->triggerAction > kHighestTriggerAction) {
    return call.fail(kit::GeneralError::InvalidParameter, "trigger action is unknown");
  }
  if (mode->outputType > kHighestOutputType) {
    return call.fail(kit::GeneralError::InvalidParameter, "output type is unknown");
  }
  kit::RecordWriter record(4 + sizeof mode->settings);
  record.u8(mode->outputMode).u8(0).u8(mode->triggerAction).u8(mode->outputType);
  record.bytes(mode->settings, sizeof mode->settings);
  return call.send(kOutputModeCommand, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Trigger_InputMode_Set_SendMsgGroup(uint32_t port, uint32_t flags, uint8_t group,
                                                    uint8_t inputLevel) try {
  return qor::can::inputSendsGroup(qor::kit::Call(kCan, port), flags, group, inputLevel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_InputMode_Set_WriteEvent(uint32_t port, uint32_t flags, uint8_t inputEdge) try {
  return qor::can::inputWritesEvent(qor::kit::Call(kCan, port), flags, inputEdge);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_InputMode_Reset(uint32_t port) try {
  return qor::can::resetInput(qor::kit::Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_OutputMode_Set(uint32_t port, const Qor_Can_Trigger_OutputMode_t* mode) try {
  return qor::can::setOutputMode(qor::kit::Call(kCan, port), mode);
} catch (...) {
  return kCan.failedCall(port);
}
