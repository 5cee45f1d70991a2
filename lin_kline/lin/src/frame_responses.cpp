// Frame responses: their definition, properties, groups, data, suspension, disturbance and state.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_frames.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kDeleteAllCommand = 0x2B;
constexpr uint8_t kDefineCommand = 0x30;
constexpr uint8_t kDeleteCommand = 0x31;
constexpr uint8_t kPropertiesCommand = 0x32;
constexpr uint8_t kChangeDataCommand = 0x33;
constexpr uint8_t kStartGroupCommand = 0x34;
constexpr uint8_t kStopGroupCommand = 0x35;
constexpr uint8_t kSuspendCommand = 0x38;
constexpr uint8_t kDisturbCommand = 0x39;
constexpr uint8_t kStateCommand = 0xF5;

constexpr size_t kDataField = QOR_LIN_FRAME_RESPONSE_MAX_LENGTH;
constexpr uint32_t kStateAnswerCapacity = 20;

// The firmware's state answer: the head, the flag bytes, the length, the data and two more.
namespace state_answer {
constexpr size_t kFlagBytes[] = {4, 5, 6, 16};
constexpr size_t kLength = 7;
constexpr size_t kData = 8;
constexpr size_t kInfo = 17;
constexpr size_t kSize = 18;
}  // namespace state_answer

uint32_t checkSendStateAndGroup(const kit::Call& call, uint8_t sendState, uint8_t group) {
  if (sendState > 1) return call.fail(kLin.code(kInvalidSendState));
  if (group > 1) return call.fail(kLin.code(kInvalidGroupNumber));
  return 0;
}

uint32_t checkDataLength(const kit::Call& call, uint8_t length) {
  return length > kDataField ? call.fail(kLin.code(kInvalidFrameDataLength), "length > 8") : 0;
}

// A data pointer may be null only when no byte is read from it.
uint32_t checkData(const kit::Call& call, const uint8_t* data, uint8_t length, const char* name) {
  return length != 0 ? call.checkPointer(data, name) : 0;
}

// An 8-byte field holding the first length bytes of source (filler when source is null) and zeros after them.
void writeField(kit::RecordWriter& record, const uint8_t* source, uint8_t length, uint8_t filler = 0) {
  for (size_t index = 0; index < kDataField; ++index) {
    uint8_t byte = 0;
    if (index < length) byte = source != nullptr ? source[index] : filler;
    record.u8(byte);
  }
}

uint32_t defineResponse(const kit::Call& call, uint8_t frameId, uint8_t sendState, uint8_t group, uint8_t attribute,
                        uint8_t length, const uint8_t* data) {
  if (uint32_t code = checkSendStateAndGroup(call, sendState, group)) return code;
  if (uint32_t code = checkDataLength(call, length)) return code;
  if (uint32_t code = checkData(call, data, length, "data")) return code;
  kit::RecordWriter record(8 + kDataField);
  record.u8(frameId).u8(sendState).u8(group).u8(attribute).u8(length).zeros(3).bytes(data, length);
  return call.send(kDefineCommand, record);
}

uint32_t changeProperties(const kit::Call& call, uint8_t frameId, uint8_t sendState, uint8_t group, uint8_t attribute) {
  if (uint32_t code = checkSendStateAndGroup(call, sendState, group)) return code;
  kit::RecordWriter record(4);
  record.u8(frameId).u8(sendState).u8(group).u8(attribute);
  return call.send(kPropertiesCommand, record);
}

uint32_t switchGroup(const kit::Call& call, uint8_t command, uint8_t group) {
  if (group != QOR_LIN_FRAME_RESPONSE_GROUP_STARTABLE) return call.fail(kLin.code(kInvalidGroupNumber));
  return call.send(command, kit::RecordWriter(0));
}

// The mask and data fields have room for 8 bytes: a longer length is refused like a longer definition.
uint32_t changeData(const kit::Call& call, uint8_t frameId, uint8_t option, uint8_t length, const uint8_t* mask,
                    const uint8_t* data) {
  if (uint32_t code = checkDataLength(call, length)) return code;
  if (uint32_t code = checkData(call, data, length, "data")) return code;
  kit::RecordWriter record(4 + 2 * kDataField);
  record.u8(frameId).u8(0).u8(option).u8(length);
  writeField(record, mask, length, 0xFF);
  writeField(record, data, length);
  return call.send(kChangeDataCommand, record);
}

uint32_t suspend(const kit::Call& call, uint8_t frameId, uint16_t value) {
  kit::RecordWriter record(8);
  record.u8(frameId).zeros(3).u16(value).u16(0);
  return call.send(kSuspendCommand, record);
}

uint32_t disturb(const kit::Call& call, uint8_t frameId, uint16_t option, uint8_t length, const uint8_t* bytes1,
                 const uint8_t* bytes2) {
  if (length > kDataField) return call.fail(GeneralError::InvalidParameter, "maximum length = 8");
  if (uint32_t code = checkData(call, bytes1, length, "bytes1")) return code;
  if (uint32_t code = checkData(call, bytes2, length, "bytes2")) return code;
  kit::RecordWriter record(4 + 2 * kDataField);
  record.u8(frameId).u8(length).u16(option);
  writeField(record, bytes1, length);
  writeField(record, bytes2, length);
  return call.send(kDisturbCommand, record);
}

Qor_Lin_FrameResponseState_t decodeState(const kit::AnswerReader& answer) {
  Qor_Lin_FrameResponseState_t state{};
  state.frameId = answer.u8(0);
  state.sendState = answer.u8(1) != 0 ? 1 : 0;
  state.group = answer.u8(2);
  state.attribute = answer.u8(3);
  for (size_t bit = 0; bit < std::size(state_answer::kFlagBytes); ++bit) {
    if (answer.u8(state_answer::kFlagBytes[bit]) == 1) state.flags |= 1u << bit;
  }
  // A length beyond the data field would send a caller reading state.data past its end.
  state.length = std::min<uint8_t>(answer.u8(state_answer::kLength), sizeof state.data);
  state.info = answer.u8(state_answer::kInfo);
  const auto data = answer.bytes(state_answer::kData, sizeof state.data);
  std::copy(data.begin(), data.end(), state.data);
  return state;
}

uint32_t getState(const kit::Call& call, uint8_t frameId, Qor_Lin_FrameResponseState_t* state) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  kit::RecordWriter record(4);
  record.u8(frameId).zeros(3);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 0, record, answer, kStateAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(state_answer::kSize)) return call.shortAnswer(reader);
  *state = decodeState(reader);
  return 0;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_FrameResponses_DefineFrameResponse(uint32_t port, uint8_t frameId, uint8_t sendState, uint8_t group,
                                                    uint8_t attribute, uint8_t length, const uint8_t* data) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::defineResponse(call, frameId, sendState, group, attribute, length, data);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_DeleteFrameResponse(uint32_t port, uint8_t frameId) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendByteRecord(call, qor::lin::kDeleteCommand, frameId);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_DeleteAllFrameResponses(uint32_t port) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  qor::kit::RecordWriter record(4);
  record.u8(0).u8(0).u8(1).u8(0);
  return call.send(qor::lin::kDeleteAllCommand, record);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_ChangeProperties(uint32_t port, uint8_t frameId, uint8_t sendState, uint8_t group,
                                                 uint8_t attribute) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::changeProperties(call, frameId, sendState, group, attribute);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_StartGroup(uint32_t port, uint8_t group) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::switchGroup(call, qor::lin::kStartGroupCommand, group);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_StopGroup(uint32_t port, uint8_t group) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::switchGroup(call, qor::lin::kStopGroupCommand, group);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_ChangeData(uint32_t port, uint8_t frameId, uint8_t option, uint8_t length,
                                           const uint8_t* mask, const uint8_t* data) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::changeData(call, frameId, option, length, mask, data);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_Suspend(uint32_t port, uint8_t frameId, uint16_t value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::suspend(call, frameId, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_Disturb(uint32_t port, uint8_t frameId, uint16_t option, uint8_t length,
                                        const uint8_t* bytes1, const uint8_t* bytes2) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::disturb(call, frameId, option, length, bytes1, bytes2);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_GetState(uint32_t port, uint8_t frameId, Qor_Lin_FrameResponseState_t* state) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::getState(call, frameId, state);
} catch (...) {
  return kLin.failedCall(port);
}
