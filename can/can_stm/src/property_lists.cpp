#include "property_lists.hpp"

#include <vector>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"
#include "stm_library.hpp"

namespace qor::can_stm {
namespace {

constexpr uint32_t kSetSubFunction = 0;
constexpr uint32_t kGetSubFunction = 1;
constexpr uint32_t kHeadBytes = 8;
constexpr uint32_t kSetEntryBytes = 8;
constexpr uint32_t kGetEntryBytes = 4;
constexpr size_t kCountOffset = 4;

// The entries that fit one record of the port's maximum parameter length; over it, "invalid parameter" with the
// limit, before anything is sent.
uint32_t checkCount(const kit::Call& call, uint32_t count, uint32_t entryBytes) {
  uint32_t length = 0;
  if (uint32_t code = call.parameterLength(&length)) return code;
  const uint32_t limit = length > kHeadBytes ? (length - kHeadBytes) / entryBytes : 0;
  if (count > limit) return call.fail(kStm.code(kInvalidParameter), "maxium number of properties = %u\n", limit);
  return 0;
}

kit::RecordWriter head(uint32_t subFunction, uint8_t count, uint32_t entryBytes) {
  kit::RecordWriter record(kHeadBytes + size_t{count} * entryBytes);
  record.u32(subFunction).u8(count).zeros(3);
  return record;
}

}  // namespace

uint32_t setProperties(const kit::Call& call, PropertyListCommand command, const Qor_CanStm_PropertyList_t* list) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, list, "list")) return code;
  if (uint32_t code = checkReserved(call, list->reserved, sizeof list->reserved)) return code;
  if (uint32_t code = checkCount(call, list->count, kSetEntryBytes)) return code;
  if (list->count != 0) {
    if (uint32_t code = checkPointer(call, list->entries, "entries")) return code;
  }
  kit::RecordWriter record = head(kSetSubFunction, list->count, kSetEntryBytes);
  for (uint32_t i = 0; i < list->count; ++i) {
    const Qor_CanStm_PropertyValue_t& entry = list->entries[i];
    if (uint32_t code = checkPropertyId(call, entry.property, command.highestProperty)) return code;
    record.u32(entry.property).u32(entry.value);
  }
  std::vector<uint8_t> answer;
  return call.exchange(command.command, 1, record, answer);
}

// The values are copied as far as the caller asked, and only as far as the answer holds them.
uint32_t getProperties(const kit::Call& call, PropertyListCommand command, const Qor_CanStm_PropertyIdList_t* list,
                       Qor_CanStm_PropertyValues_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, list, "list")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (uint32_t code = checkReserved(call, list->reserved, sizeof list->reserved)) return code;
  if (uint32_t code = checkCount(call, list->count, kGetEntryBytes)) return code;
  if (list->count != 0) {
    if (uint32_t code = checkPointer(call, list->properties, "properties")) return code;
    if (uint32_t code = checkPointer(call, result->values, "values")) return code;
  }
  kit::RecordWriter record = head(kGetSubFunction, list->count, kGetEntryBytes);
  for (uint32_t i = 0; i < list->count; ++i) {
    if (uint32_t code = checkPropertyId(call, list->properties[i], command.highestProperty)) return code;
    record.u32(list->properties[i]);
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(command.command, 1, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kHeadBytes)) return call.shortAnswer(reader);
  const uint8_t count = std::min(reader.u8(kCountOffset), list->count);
  if (!reader.has(kHeadBytes + size_t{count} * kGetEntryBytes)) return call.shortAnswer(reader);
  for (uint32_t i = 0; i < count; ++i) result->values[i] = reader.u32(kHeadBytes + i * kGetEntryBytes);
  result->count = count;
  return 0;
}

}  // namespace qor::can_stm
