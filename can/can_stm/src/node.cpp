// The module node's baud rates and properties (command 0x20).
#include <vector>

#include "qor_can_stm.h"
#include "qor_kit/answer_reader.hpp"
#include "stm_library.hpp"

namespace qor::can_stm {
namespace {

enum NodeSubFunction : uint32_t {
  kSetBaudRate = 0,
  kGetBaudRate = 1,
  kSetBaudRateFd = 2,
  kGetBaudRateFd = 3,
  kSetProperty = 4,
  kGetProperty = 5,
};

constexpr uint32_t kFdFlags = 0x3;
constexpr size_t kBaudRateAnswer = 32;
constexpr size_t kBaudRateFdAnswer = 36;
constexpr size_t kPropertyAnswer = 12;

uint32_t nodeExchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kNodeCommand, 1, record, answer, kNodeAnswerCapacity);
}

// The answer's baud-rate fields, common to both results: first value at 16, the eight-byte value at 8, the second
// value at 20 and four u16 from 24.
template <class Result>
void decodeBaudRate(const kit::AnswerReader& answer, Result& result) {
  result.firstValue = answer.u32(16);
  result.eightByteValue = answer.u64(8);
  result.secondValue = answer.u32(20);
  for (size_t i = 0; i < 4; ++i) result.values[i] = answer.u16(24 + 2 * i);
}

uint32_t baudRateExchange(const kit::Call& call, const kit::RecordWriter& record, Qor_CanStm_BaudRateResult_t* result) {
  std::vector<uint8_t> answer;
  if (uint32_t code = nodeExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kBaudRateAnswer)) return call.shortAnswer(reader);
  Qor_CanStm_BaudRateResult_t decoded{};
  decodeBaudRate(reader, decoded);
  *result = decoded;
  return 0;
}

uint32_t baudRateFdExchange(const kit::Call& call, const kit::RecordWriter& record,
                            Qor_CanStm_BaudRateFdResult_t* result) {
  std::vector<uint8_t> answer;
  if (uint32_t code = nodeExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kBaudRateFdAnswer)) return call.shortAnswer(reader);
  Qor_CanStm_BaudRateFdResult_t decoded{};
  decoded.flags = reader.u8(4) & kFdFlags;
  decodeBaudRate(reader, decoded);
  decoded.thirdValue = reader.u32(32);
  *result = decoded;
  return 0;
}

uint32_t setBaudRate(const kit::Call& call, const Qor_CanStm_BaudRate_t* baudRate, Qor_CanStm_BaudRateResult_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, baudRate, "baudRate")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (baudRate->flags != 0) return unknownFlag(call);
  kit::RecordWriter record(40);
  record.u32(kSetBaudRate).u32(0).u64(baudRate->eightByteValue).u32(baudRate->firstValue).u32(baudRate->secondValue);
  record.bytes(baudRate->values, sizeof baudRate->values);
  return baudRateExchange(call, record, result);
}

uint32_t getBaudRate(const kit::Call& call, const uint32_t* flags, Qor_CanStm_BaudRateResult_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, flags, "flags")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (*flags != 0) return unknownFlag(call);
  kit::RecordWriter record(8);
  record.u32(kGetBaudRate).u32(0);
  return baudRateExchange(call, record, result);
}

uint32_t setBaudRateFd(const kit::Call& call, const Qor_CanStm_BaudRateFd_t* baudRate,
                       Qor_CanStm_BaudRateFdResult_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, baudRate, "baudRate")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if ((baudRate->flags & ~kFdFlags) != 0) return unknownFlag(call);
  kit::RecordWriter record(44);
  record.u32(kSetBaudRateFd).u32(baudRate->flags).u64(baudRate->eightByteValue);
  record.u32(baudRate->firstValue).u32(baudRate->secondValue).u16(baudRate->value1).u16(baudRate->value2);
  for (uint16_t value : baudRate->values) record.u16(value);
  record.u32(baudRate->thirdValue);
  return baudRateFdExchange(call, record, result);
}

uint32_t getBaudRateFd(const kit::Call& call, const uint32_t* flags, Qor_CanStm_BaudRateFdResult_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, flags, "flags")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (*flags != 0) return unknownFlag(call);
  kit::RecordWriter record(8);
  record.u32(kGetBaudRateFd).u32(0);
  return baudRateFdExchange(call, record, result);
}

uint32_t checkNodeProperty(const kit::Call& call, uint16_t property, uint16_t reserved) {
  if (uint32_t code = checkReserved(call, &reserved, sizeof reserved)) return code;
  return checkPropertyId(call, property, QOR_CANSTM_MAX_NODE_PROPERTY);
}

uint32_t setProperty(const kit::Call& call, const Qor_CanStm_NodeProperty_t* property) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, property, "property")) return code;
  if (uint32_t code = checkNodeProperty(call, property->property, property->reserved)) return code;
  kit::RecordWriter record(12);
  record.u32(kSetProperty).u16(property->property).u16(0).u32(property->value);
  std::vector<uint8_t> answer;
  return nodeExchange(call, record, answer);
}

uint32_t getProperty(const kit::Call& call, const Qor_CanStm_NodePropertyId_t* property,
                     Qor_CanStm_NodeProperty_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, property, "property")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (uint32_t code = checkNodeProperty(call, property->property, property->reserved)) return code;
  kit::RecordWriter record(8);
  record.u32(kGetProperty).u16(property->property).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = nodeExchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kPropertyAnswer)) return call.shortAnswer(reader);
  *result = Qor_CanStm_NodeProperty_t{property->property, 0, reader.u32(8)};
  return 0;
}

}  // namespace
}  // namespace qor::can_stm

using qor::can_stm::kStm;
using qor::kit::Call;

uint32_t Qor_CanStm_Node_BaudRate_Set(uint32_t port, const Qor_CanStm_BaudRate_t* baudRate,
                                      Qor_CanStm_BaudRateResult_t* result) try {
  return qor::can_stm::setBaudRate(Call(kStm, port), baudRate, result);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Node_BaudRate_Get(uint32_t port, const uint32_t* flags, Qor_CanStm_BaudRateResult_t* result) try {
  return qor::can_stm::getBaudRate(Call(kStm, port), flags, result);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Node_BaudRateFd_Set(uint32_t port, const Qor_CanStm_BaudRateFd_t* baudRate,
                                        Qor_CanStm_BaudRateFdResult_t* result) try {
  return qor::can_stm::setBaudRateFd(Call(kStm, port), baudRate, result);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Node_BaudRateFd_Get(uint32_t port, const uint32_t* flags,
                                        Qor_CanStm_BaudRateFdResult_t* result) try {
  return qor::can_stm::getBaudRateFd(Call(kStm, port), flags, result);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Node_Property_SetById(uint32_t port, const Qor_CanStm_NodeProperty_t* property) try {
  return qor::can_stm::setProperty(Call(kStm, port), property);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Node_Property_GetById(uint32_t port, const Qor_CanStm_NodePropertyId_t* property,
                                          Qor_CanStm_NodeProperty_t* result) try {
  return qor::can_stm::getProperty(Call(kStm, port), property, result);
} catch (...) {
  return kStm.failedCall(port);
}
