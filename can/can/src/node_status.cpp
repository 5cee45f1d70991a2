#include <vector>

#include "can_library.hpp"
#include "node_configuration.hpp"
#include "node_mode.hpp"
#include "qor_can_node.h"

namespace qor::can {
namespace {

constexpr uint8_t kResetErrorFramesCommand = 0x16;
constexpr uint8_t kReadErrorFramesCommand = 0xF3;
constexpr uint8_t kReadStateCommand = 0xF9;
constexpr uint32_t kErrorFramesAnswerSize = 4;
constexpr uint32_t kStateAnswerSize = 8;
constexpr uint8_t kNoControlBytes = 0;

uint32_t readErrorFrames(const kit::Call& call, uint32_t* counter) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(counter, "counter")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kReadErrorFramesCommand, kNoControlBytes, kit::RecordWriter(0), answer,
                                    kErrorFramesAnswerSize)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(sizeof *counter)) return call.shortAnswer(reader);
  *counter = reader.u32(0);
  return 0;
}

uint32_t resetErrorFrames(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return call.send(kResetErrorFramesCommand, kit::RecordWriter(0));
}

// Answer: three bytes, InitState, the flags byte (bits 0-1 the mode, bits 4-7 one field each).
uint32_t readState(const kit::Call& call, uint8_t mode, Qor_Can_Node_State_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkMode(call, mode, 0)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  kit::RecordWriter record(4);
  record.zeros(4);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kReadStateCommand, kNoControlBytes, record, answer, kStateAnswerSize)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  constexpr size_t kFlagsOffset = 4;
  if (!reader.has(kFlagsOffset + 1)) return call.shortAnswer(reader);
  const uint8_t initState = reader.u8(3);
  if (initState > QOR_CAN_INIT_STATE_MAX) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "'InitState' '0x%02x' is unknown",
                     unsigned{initState});
  }
  const uint8_t flags = reader.u8(kFlagsOffset);
  Qor_Can_Node_State_t read{};
  for (size_t index = 0; index < sizeof read.bytes; ++index) read.bytes[index] = reader.u8(index);
  read.InitState = initState;
  read.modeFlags = flags & 0x03u;
  read.flagBit4 = (flags >> 4) & 1u;
  read.flagBit5 = (flags >> 5) & 1u;
  read.flagBit6 = (flags >> 6) & 1u;
  read.flagBit7 = (flags >> 7) & 1u;
  *state = read;
  return 0;
}

uint32_t readBusIdleTime(const kit::Call& call, uint32_t* idleTime) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(idleTime, "idleTime")) return code;
  return kNodeProperties.read(call, kBusIdleTime, idleTime);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Node_ErrorFrameCounter_Get(uint32_t port, uint32_t* counter) try {
  return qor::can::readErrorFrames(Call(kCan, port), counter);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_ErrorFrameCounter_Reset(uint32_t port) try {
  return qor::can::resetErrorFrames(Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_GetState(uint32_t port, uint8_t mode, Qor_Can_Node_State_t* state) try {
  return qor::can::readState(Call(kCan, port), mode, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_BusIdleTime_Get(uint32_t port, uint32_t* idleTime) try {
  return qor::can::readBusIdleTime(Call(kCan, port), idleTime);
} catch (...) {
  return kCan.failedCall(port);
}
