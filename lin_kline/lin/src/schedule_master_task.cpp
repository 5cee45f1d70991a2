// The master task's scheduler: starting, stopping, clearing and switching tables, its state, single headers and the
// wake-up delimiter time.
#include <cstdint>
#include <vector>

#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_schedule.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kStartCommand = 0x28;
constexpr uint8_t kStopCommand = 0x29;
constexpr uint8_t kClearCommand = 0x2A;
constexpr uint8_t kChangeCommand = 0x2C;
constexpr uint8_t kStateCommand = 0x2D;
constexpr uint8_t kHeaderCommand = 0x2E;
constexpr uint8_t kWakeUpDelimiterCommand = 0x47;

constexpr uint32_t kStateAnswerCapacity = 12;
constexpr size_t kStateOffset = 1;
constexpr size_t kValuesOffset = 4;
constexpr uint8_t kStateBits = 0x03;
constexpr uint32_t kHeaderAnswerCapacity = 4;

uint32_t changeTable(const kit::Call& call, uint8_t table, uint32_t changeFlags, uint32_t value) {
  if (uint32_t code = call.checkFlags(changeFlags, QOR_LIN_SCHEDULE_CHANGE_FLAGS_VALID)) return code;
  const bool withValue = (changeFlags & QOR_LIN_SCHEDULE_CHANGE_WITH_VALUE) != 0;
  kit::RecordWriter record(8);
  record.u8(table).u8(static_cast<uint8_t>(changeFlags)).u16(0).u32(withValue ? value : 0);
  return call.send(kChangeCommand, record);
}

uint32_t readState(const kit::Call& call, uint32_t& state, uint16_t (&values)[4]) {
  kit::RecordWriter record(4);
  record.u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 0, record, answer, kStateAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kValuesOffset + sizeof values)) return call.shortAnswer(reader);
  state = reader.u8(kStateOffset) & kStateBits;
  for (size_t index = 0; index < 4; ++index) values[index] = reader.u16(kValuesOffset + index * sizeof(uint16_t));
  return 0;
}

uint32_t getSchedulerState(const kit::Call& call, uint32_t* state, uint16_t* value1, uint16_t* value2, uint16_t* value3,
                           uint16_t* value4) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  uint16_t* outputs[] = {value1, value2, value3, value4};
  for (uint16_t* output : outputs) {
    if (uint32_t code = call.checkPointer(output, "value")) return code;
  }
  uint32_t read = 0;
  uint16_t values[4] = {};
  const uint32_t code = readState(call, read, values);
  *state = code == 0 ? read : 0;
  for (size_t index = 0; index < 4; ++index) *outputs[index] = code == 0 ? values[index] : 0;
  return code;
}

uint32_t sendHeader(const kit::Call& call, uint32_t flags, uint8_t frameId) {
  if (flags > 1) return call.fail(GeneralError::UnknownFlag, "flag value '0x%04x' is unknown", flags);
  kit::RecordWriter record(8);
  record.u32(0).u8(static_cast<uint8_t>(flags)).u8(frameId).u16(0);
  std::vector<uint8_t> answer;
  return call.exchange(kHeaderCommand, 1, record, answer, kHeaderAnswerCapacity);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_MasterTask_ClearScheduleTable(uint32_t port, uint8_t table) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendByteRecord(call, qor::lin::kClearCommand, table);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_ChangeScheduleTable(uint32_t port, uint8_t table, uint32_t changeFlags,
                                                uint32_t value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::changeTable(call, table, changeFlags, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_GetSchedulerState(uint32_t port, uint32_t* state, uint16_t* value1, uint16_t* value2,
                                              uint16_t* value3, uint16_t* value4) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::getSchedulerState(call, state, value1, value2, value3, value4);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_Start(uint32_t port, uint8_t table) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendByteRecord(call, qor::lin::kStartCommand, table);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_Stop(uint32_t port) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return call.send(qor::lin::kStopCommand, qor::kit::RecordWriter(0));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_SetWakeUpDelimiterTime(uint32_t port, uint32_t timeNs) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendWord(call, qor::lin::kWakeUpDelimiterCommand, qor::lin::ticksOf(timeNs));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_SendHeader(uint32_t port, uint32_t flags, uint8_t frameId) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendHeader(call, flags, frameId);
} catch (...) {
  return kLin.failedCall(port);
}
