// The trigger's properties and identifier lists (command 0x22).
#include <vector>

#include "property_lists.hpp"
#include "qor_can_stm.h"
#include "qor_kit/answer_reader.hpp"
#include "stm_library.hpp"

namespace qor::can_stm {
namespace {

constexpr uint32_t kWriteIdList = 3;
constexpr uint32_t kReadIdList = 4;
constexpr uint32_t kIdListHead = 12;
constexpr uint32_t kIdBytes = 4;
constexpr uint32_t kWriteFlags = 0x1;

uint32_t writeIdList(const kit::Call& call, const Qor_CanStm_IdListWrite_t* list) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, list, "list")) return code;
  if ((list->flags & ~kWriteFlags) != 0) return unknownFlag(call);
  uint32_t length = 0;
  if (uint32_t code = call.parameterLength(&length)) return code;
  const uint32_t limit = length > kIdListHead ? (length - kIdListHead) / kIdBytes : 0;
  if (list->count > limit) return call.fail(kStm.code(kInvalidParameter), "maxium number of IDs = %u\n", limit);
  if (list->count != 0) {
    if (uint32_t code = checkPointer(call, list->identifiers, "identifiers")) return code;
  }
  kit::RecordWriter record(kIdListHead + size_t{list->count} * kIdBytes);
  record.u32(kWriteIdList).u32(list->flags).u16(list->listSelector).u16(list->count);
  record.bytes(list->identifiers, size_t{list->count} * kIdBytes);
  std::vector<uint8_t> answer;
  return call.exchange(kTriggerCommand, 1, record, answer);
}

// The caller's array receives what the answer holds: as many identifiers as its count says, and never more than the
// bytes that came.
uint32_t readIdList(const kit::Call& call, const Qor_CanStm_IdListRead_t* request, Qor_CanStm_IdListResult_t* result) {
  if (uint32_t code = checkStmInterface(call)) return code;
  if (uint32_t code = checkPointer(call, request, "request")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (request->flags != 0) return unknownFlag(call);
  kit::RecordWriter record(kIdListHead);
  record.u32(kReadIdList).u32(0).u16(request->listSelector).u16(request->secondValue);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kTriggerCommand, 1, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint16_t count = reader.u16(10);
  if (!reader.has(kIdListHead + size_t{count} * kIdBytes)) return call.shortAnswer(reader);
  if (count != 0) {
    if (uint32_t code = checkPointer(call, result->identifiers, "identifiers")) return code;
  }
  for (uint32_t i = 0; i < count; ++i) result->identifiers[i] = reader.u32(kIdListHead + i * kIdBytes);
  result->reserved = 0;
  result->value = reader.u16(8);
  result->count = count;
  return 0;
}

}  // namespace
}  // namespace qor::can_stm

using qor::can_stm::kStm;
using qor::kit::Call;

uint32_t Qor_CanStm_Trigger_Properties_SetById(uint32_t port, const Qor_CanStm_PropertyList_t* list) try {
  return qor::can_stm::setProperties(Call(kStm, port), qor::can_stm::kTriggerProperties, list);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Trigger_Properties_GetById(uint32_t port, const Qor_CanStm_PropertyIdList_t* list,
                                               Qor_CanStm_PropertyValues_t* result) try {
  return qor::can_stm::getProperties(Call(kStm, port), qor::can_stm::kTriggerProperties, list, result);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Trigger_IdList_Write(uint32_t port, const Qor_CanStm_IdListWrite_t* list) try {
  return qor::can_stm::writeIdList(Call(kStm, port), list);
} catch (...) {
  return kStm.failedCall(port);
}

uint32_t Qor_CanStm_Trigger_IdList_Read(uint32_t port, const Qor_CanStm_IdListRead_t* request,
                                        Qor_CanStm_IdListResult_t* result) try {
  return qor::can_stm::readIdList(Call(kStm, port), request, result);
} catch (...) {
  return kStm.failedCall(port);
}
