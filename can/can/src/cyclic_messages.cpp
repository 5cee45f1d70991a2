// The messages of the firmware's cyclic table: defining, deleting, cycle time, groups, breaks, properties and state.
#include <cstring>
#include <vector>

#include "can_library.hpp"
#include "cyclic_arguments.hpp"
#include "cyclic_commands.hpp"
#include "qor_can_cyclic.h"
#include "qor_can_message.h"
#include "qor_kit/property_by_id.hpp"

namespace qor::can {
namespace {

using kit::AnswerReader;
using kit::Call;
using kit::GeneralError;
using kit::RecordWriter;

constexpr size_t kDefineRecordBytes = 76;
constexpr size_t kDefineDataOffset = 10;
constexpr uint8_t kGroupsOfStartAndStop = 1;
constexpr size_t kStateAnswerBytes = sizeof(Qor_Can_CyclicMsgs_MsgState_t);
constexpr size_t kStateDataOffset = 12;

constexpr kit::PropertyById kMessageProperty{kFdExtension, kSetProperty, kReadProperty,
                                             kit::PropertyById::IdField::HalfWordAndReserved,
                                             kit::kResponseCapacity, 4};

uint32_t checkSendState(const Call& call, uint32_t sendState) {
  return sendState > 1 ? call.fail(kCan.code(kInvalidSendState), "%u", sendState) : 0;
}

uint32_t checkGroup(const Call& call, uint32_t group) {
  return group > 1 ? call.fail(kCan.code(kInvalidGroupNumber), "%u", group) : 0;
}

RecordWriter identifierRecord(uint32_t identifier) {
  RecordWriter record(sizeof identifier);
  record.u32(identifier);
  return record;
}

RecordWriter identifierAndValue(uint32_t identifier, uint16_t value) {
  RecordWriter record(8);
  record.u32(identifier).u16(value).u16(0);
  return record;
}

uint32_t defineMessage(const Call& call, uint32_t identifier, uint16_t cycleTime, uint8_t sendState, uint8_t group,
                       uint8_t optionByte, const uint8_t* data, uint8_t dlc) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  if (uint32_t code = checkSendState(call, sendState)) return code;
  if (uint32_t code = checkGroup(call, group)) return code;
  const size_t length = dataBytesOfDlc(dlc);
  if (uint32_t code = checkBytes(call, data, length, "data")) return code;
  RecordWriter record(kDefineRecordBytes);
  record.u32(identifier).u16(cycleTime).u8(sendState).u8(group).u8(optionByte).u8(dlc);
  putPadded(record, data, length, kDefineRecordBytes - kDefineDataOffset);
  return call.send(kDefineMessage, record);
}

uint32_t sendForMessage(const Call& call, uint8_t command, const RecordWriter& record) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return call.send(command, record);
}

uint32_t changeGroupNumber(const Call& call, uint32_t identifier, uint8_t group) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkGroup(call, group)) return code;
  RecordWriter record(8);
  record.u32(identifier).u8(group).zeros(3);
  return call.send(kChangeGroupNumber, record);
}

uint32_t switchGroup(const Call& call, uint8_t command, uint8_t group) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (group != kGroupsOfStartAndStop) return call.fail(kCan.code(kInvalidGroupNumber));
  return call.send(command, RecordWriter(0));
}

uint32_t setCalculationBreakCount(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal,
                                  uint8_t mode, uint16_t value) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > 1) return call.fail(GeneralError::UnknownMode);
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, signal, &split)) return code;
  RecordWriter record(12);
  record.u32(identifier).u8(mode).u8(0).u16(value).u8(split.byteIndex).u8(split.bitIndex).u16(0);
  return call.send(kSetCalculationBreakCount, record);
}

uint32_t checkProperty(const Call& call, const Qor_Can_CyclicMsgs_Property_t* property) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(property, "property")) return code;
  if (uint32_t code = call.checkReserved(property->reserved, "reserved bytes have to be zero")) return code;
  if (property->property > QOR_CAN_CYCLIC_PROPERTY_MAX) {
    return call.fail(GeneralError::InvalidParameter, "property ID is unknown");
  }
  return 0;
}

uint32_t setProperty(const Call& call, const Qor_Can_CyclicMsgs_Property_t* property) {
  if (uint32_t code = checkProperty(call, property)) return code;
  return kMessageProperty.set(call, property->property, property->value, {property->identifier});
}

uint32_t readProperty(const Call& call, const Qor_Can_CyclicMsgs_Property_t* property,
                      Qor_Can_CyclicMsgs_Property_t* result) {
  if (uint32_t code = checkProperty(call, property)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  uint32_t value = 0;
  if (uint32_t code = kMessageProperty.read(call, property->property, &value, {property->identifier})) return code;
  *result = Qor_Can_CyclicMsgs_Property_t{property->identifier, property->property, 0, value};
  return 0;
}

uint32_t readMessageState(const Call& call, uint32_t identifier, Qor_Can_CyclicMsgs_MsgState_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  RecordWriter request(8);
  request.u32(identifier).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kReadMessageState, 0, request, answer, kStateAnswerBytes)) return code;
  const AnswerReader reader(answer);
  if (!reader.has(kStateDataOffset)) return call.shortAnswer(reader);
  const uint8_t dlc = reader.u8(9);
  if (dlc > QOR_CAN_MAX_DLC) return call.fail(GeneralError::InvalidResponseParameter, "DLC %u", dlc);
  const std::span<const uint8_t> data = reader.bytes(kStateDataOffset, dataBytesOfDlc(dlc));
  if (!reader.complete()) return call.shortAnswer(reader);
  Qor_Can_CyclicMsgs_MsgState_t decoded{};
  decoded.identifier = reader.u32(0);
  decoded.cycleTime = reader.u16(4);
  decoded.group = reader.u8(7);
  decoded.sendState = reader.u8(6) != 0 ? 1 : 0;
  decoded.optionByte = reader.u8(8);
  decoded.dlc = dlc;
  if (!data.empty()) std::memcpy(decoded.data, data.data(), data.size());
  *state = decoded;
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_CyclicMsgs_DefineMsg(uint32_t port, uint32_t identifier, uint16_t cycleTime, uint8_t sendState,
                                      uint8_t group, uint8_t optionByte, const uint8_t* data, uint8_t dlc) try {
  return qor::can::defineMessage(Call(kCan, port), identifier, cycleTime, sendState, group, optionByte, data, dlc);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_DeleteMsg(uint32_t port, uint32_t identifier) try {
  return qor::can::sendForMessage(Call(kCan, port), qor::can::kDeleteMessage, qor::can::identifierRecord(identifier));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_ChangeCycleTime(uint32_t port, uint32_t identifier, uint16_t cycleTime) try {
  return qor::can::sendForMessage(Call(kCan, port), qor::can::kChangeCycleTime,
                                  qor::can::identifierAndValue(identifier, cycleTime));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_ChangeGroupNumber(uint32_t port, uint32_t identifier, uint8_t group) try {
  return qor::can::changeGroupNumber(Call(kCan, port), identifier, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_StartGroup(uint32_t port, uint8_t group) try {
  return qor::can::switchGroup(Call(kCan, port), qor::can::kStartGroup, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_StopGroup(uint32_t port, uint8_t group) try {
  return qor::can::switchGroup(Call(kCan, port), qor::can::kStopGroup, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_SetMsgBreakCount(uint32_t port, uint32_t identifier, uint16_t count) try {
  return qor::can::sendForMessage(Call(kCan, port), qor::can::kSetBreakCount,
                                  qor::can::identifierAndValue(identifier, count));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_SetMsgBreakTime(uint32_t port, uint32_t identifier, uint16_t time) try {
  return qor::can::sendForMessage(Call(kCan, port), qor::can::kSetBreakTime,
                                  qor::can::identifierAndValue(identifier, time));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_SetCalculationBreakCount(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal,
                                                     uint8_t mode, uint16_t value) try {
  return qor::can::setCalculationBreakCount(Call(kCan, port), identifier, signal, mode, value);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Property_SetById(uint32_t port, const Qor_Can_CyclicMsgs_Property_t* property) try {
  return qor::can::setProperty(Call(kCan, port), property);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Property_GetById(uint32_t port, const Qor_Can_CyclicMsgs_Property_t* property,
                                             Qor_Can_CyclicMsgs_Property_t* result) try {
  return qor::can::readProperty(Call(kCan, port), property, result);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_GetMsgState(uint32_t port, uint32_t identifier, Qor_Can_CyclicMsgs_MsgState_t* state) try {
  return qor::can::readMessageState(Call(kCan, port), identifier, state);
} catch (...) {
  return kCan.failedCall(port);
}
