#include <vector>

#include "kline_library.hpp"
#include "qor_kline_node.h"

namespace qor::kline {
namespace {

constexpr uint8_t kNodePropertyCommand = 0x21;
constexpr uint8_t kOneControlByte = 1;
constexpr uint32_t kPropertyAnswerCapacity = 12;
constexpr uint32_t kSet = 0;
constexpr uint32_t kGet = 1;
constexpr size_t kValueOffset = 8;

// The application's ids 1 to 3 are the firmware's properties 0 to 2.
uint32_t firmwareProperty(const kit::Call& call, uint16_t id, uint16_t* property) {
  if (id < 1 || id > 3) return call.fail(kKLine.code(kUnknownId), "id '0x%04x' is unknown", id);
  *property = static_cast<uint16_t>(id - 1);
  return 0;
}

uint32_t setProperty(const kit::Call& call, uint16_t id, uint32_t value) {
  if (uint32_t code = checkKLine(call)) return code;
  uint16_t property = 0;
  if (uint32_t code = firmwareProperty(call, id, &property)) return code;
  kit::RecordWriter record(12);
  record.u32(kSet).u16(property).u16(0).u32(value);
  std::vector<uint8_t> answer;
  return call.exchange(kNodePropertyCommand, kOneControlByte, record, answer, kPropertyAnswerCapacity);
}

uint32_t getProperty(const kit::Call& call, uint16_t id, uint32_t* value) {
  if (uint32_t code = checkKLine(call)) return code;
  uint16_t property = 0;
  if (uint32_t code = firmwareProperty(call, id, &property)) return code;
  if (uint32_t code = checkPointer(call, value, "value")) return code;
  kit::RecordWriter record(8);
  record.u32(kGet).u16(property).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kNodePropertyCommand, kOneControlByte, record, answer, kPropertyAnswerCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  const uint32_t read = reader.u32(kValueOffset);
  if (!reader.complete()) return shortAnswer(call, reader);
  *value = read;
  return 0;
}

}  // namespace
}  // namespace qor::kline

using qor::kline::kKLine;

uint32_t Qor_KLine_Node_Property_SetById(uint32_t port, uint16_t id, uint32_t value) try {
  return qor::kline::setProperty(qor::kit::Call(kKLine, port), id, value);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Node_Property_GetById(uint32_t port, uint16_t id, uint32_t* value) try {
  return qor::kline::getProperty(qor::kit::Call(kKLine, port), id, value);
} catch (...) {
  return kKLine.failedCall(port);
}
