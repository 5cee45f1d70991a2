// The ids the firmware's MOST monitor reports: enabling them and reading back which are enabled.
#include "monitor_ids.hpp"

#include <span>
#include <vector>

#include "most_library.hpp"
#include "monitor_records.hpp"
#include "qor_api.h"
#include "qor_monitor.h"
#include "qor_most_monitor.h"

namespace qor::most {
namespace {

constexpr uint32_t kIdsHeadBytes = 12;
constexpr uint16_t kUnusedId = 14;  // the firmware reports it for 13

bool isKnownId(uint16_t id) { return id <= QOR_MOST_MONITOR_ID_MAX && id != kUnusedId; }

uint32_t changeEnabledIds(const kit::Call& call, uint32_t flags, uint32_t count, const uint16_t* ids) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (Qor_IsMonitorEnabled(call.port()) == 0) return call.fail(kMost.code(kMonitorNotInitialized));
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (uint32_t code = checkEnabledIds(call, count, ids)) return code;
  return sendMonitorSetting(call, enabledIdsRecord(count, ids));
}

uint32_t getEnabledIds(const kit::Call& call, uint32_t* flags, uint32_t* count, uint16_t* ids) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (*count > 0) {
    if (uint32_t code = call.checkPointer(ids, "ids")) return code;
  }
  std::vector<uint8_t> bytes;
  if (uint32_t code = readMonitorSetting(call, kReadEnabledIds, bytes)) return code;
  const kit::AnswerReader answer(bytes);
  if (!answer.has(kIdsHeadBytes)) return shortAnswer(call, answer.size());
  const uint32_t received = answer.itemsThatFit(answer.u32(8), kIdsHeadBytes, sizeof(uint16_t));
  if (received > *count) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "not enough buffer for configured ids");
  }
  *flags = 0;
  *count = received;
  for (uint32_t i = 0; i < received; ++i) {
    const uint16_t id = answer.u16(kIdsHeadBytes + 2 * i);
    if (id == kUnusedId) {
      ids[i] = 13;
    } else if (isKnownId(id)) {
      ids[i] = id;
    } else {
      return call.fail(kit::GeneralError::InvalidResponseParameter, "unknown firmware monitor id");
    }
  }
  return 0;
}

}  // namespace

uint32_t checkEnabledIds(const kit::Call& call, uint32_t count, const uint16_t* ids) {
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(ids, "ids")) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (uint64_t{count} * sizeof(uint16_t) + kIdsHeadBytes > parameterLength) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", count);
  }
  for (const uint16_t id : std::span(ids, count)) {
    if (!isKnownId(id)) return call.fail(kit::GeneralError::InvalidParameter, "monitor id '0x%04x' is unknown", id);
  }
  return 0;
}

kit::RecordWriter enabledIdsRecord(uint32_t count, const uint16_t* ids) {
  kit::RecordWriter record(kIdsHeadBytes + size_t{count} * sizeof(uint16_t));
  record.u8(kEnabledIds).zeros(7).u32(count);
  for (uint32_t i = 0; i < count; ++i) record.u16(ids[i]);
  return record;
}

}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Monitor_EnabledIds_Change(uint32_t port, uint32_t flags, uint32_t count, const uint16_t* ids) try {
  return qor::most::changeEnabledIds(Call(kMost, port), flags, count, ids);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Monitor_EnabledIds_Get(uint32_t port, uint32_t* flags, uint32_t* count, uint16_t* ids) try {
  return qor::most::getEnabledIds(Call(kMost, port), flags, count, ids);
} catch (...) {
  return kMost.failedCall(port);
}
