#include "qor_kit/property_by_id.hpp"

#include <vector>

namespace qor::kit {

namespace {
constexpr uint8_t kSubFunctionKey = 1;  // the low byte of the sub-function
constexpr size_t kLongestRecord = 4 * 4 + 4 * 8;
}  // namespace

RecordWriter PropertyById::record(uint32_t subFunction, uint32_t id, std::initializer_list<uint32_t> prefix) const {
  RecordWriter record(kLongestRecord);
  record.u32(subFunction);
  for (uint32_t word : prefix) record.u32(word);
  if (idField == IdField::Word) {
    record.u32(id);
  } else {
    record.u16(static_cast<uint16_t>(id)).u16(0);
  }
  return record;
}

uint32_t PropertyById::set(const Call& call, uint32_t id, uint32_t value, std::initializer_list<uint32_t> prefix) const {
  RecordWriter request = record(setSubFunction, id, prefix);
  request.u32(value);
  std::vector<uint8_t> answer;
  return call.exchange(command, kSubFunctionKey, request, answer, answerCapacity);
}

uint32_t PropertyById::read(const Call& call, uint32_t id, uint32_t* value,
                            std::initializer_list<uint32_t> prefix) const {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(command, kSubFunctionKey, record(readSubFunction, id, prefix), answer,
                                    answerCapacity)) {
    return code;
  }
  const AnswerReader reader(answer);
  if (!reader.has(valueOffset + sizeof(uint32_t))) return call.shortAnswer(reader);
  *value = reader.u32(valueOffset);
  return 0;
}

}  // namespace qor::kit
