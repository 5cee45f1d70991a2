#include "controller_properties.hpp"

namespace qor::common {
namespace {

constexpr uint32_t kSetSubFunction = 9;
constexpr uint32_t kReadSubFunction = 10;
constexpr uint8_t kOneControlByte = 1;
constexpr size_t kValueLengthOffset = 6;

}  // namespace

kit::RecordWriter setPropertyRecord(uint16_t id, std::span<const uint8_t> value) {
  kit::RecordWriter record(kPropertyValueOffset + kMaxPropertyValueLength);
  record.u32(kSetSubFunction).u16(id).u16(static_cast<uint16_t>(value.size())).bytes(value);
  return record;
}

kit::RecordWriter readPropertyRecord(uint16_t id) {
  kit::RecordWriter record(kPropertyValueOffset);
  record.u32(kReadSubFunction).u16(id).u16(0);
  return record;
}

std::optional<size_t> propertyAnswerLength(std::span<const uint8_t> answer) {
  const kit::AnswerReader reader(answer);
  const size_t valueLength = reader.u16(kValueLengthOffset);
  if (!reader.complete() || !reader.has(kPropertyValueOffset + valueLength)) return std::nullopt;
  return kPropertyValueOffset + valueLength;
}

uint32_t setProperty(const kit::Call& call, uint16_t id, std::span<const uint8_t> value) {
  std::vector<uint8_t> answer;
  return call.exchange(kControllerControlCommand, kOneControlByte, setPropertyRecord(id, value), answer);
}

uint32_t readProperty(const kit::Call& call, uint16_t id, std::vector<uint8_t>& answer) {
  if (uint32_t code = call.exchange(kControllerControlCommand, kOneControlByte, readPropertyRecord(id), answer)) {
    return code;
  }
  const std::optional<size_t> length = propertyAnswerLength(answer);
  if (!length) return call.shortAnswer(kit::AnswerReader(answer));
  answer.resize(*length);
  return 0;
}

}  // namespace qor::common
