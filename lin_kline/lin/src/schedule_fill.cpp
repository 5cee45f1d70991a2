// Filling a schedule table (command 0x22): all entries checked first, then sent in records of as many entries as the
// port's maximum parameter length takes, the first starting the table and the others appending to it.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

#include "lin_library.hpp"
#include "qor_kit/pieces.hpp"
#include "qor_lin_schedule.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kFillCommand = 0x22;
constexpr uint32_t kRecordHead = 8;
constexpr uint32_t kEntrySize = 8;
constexpr uint8_t kStartTable = 0;
constexpr uint8_t kAppend = 1;

uint32_t checkFill(const kit::Call& call, uint32_t flags, uint16_t count, const void* entries) {
  if (flags > 1) return call.fail(GeneralError::UnknownFlag, "0x%x", flags);
  return count != 0 ? call.checkPointer(entries, "entries") : 0;
}

uint32_t refuseReservedByte(const kit::Call& call, size_t item) {
  return call.fail(GeneralError::InvalidParameter, "invalid reserved parameter byte in item %zu", item);
}

uint32_t checkEntries(const kit::Call& call, std::span<const Qor_Lin_ScheduleEntry_t> entries) {
  for (size_t item = 0; item < entries.size(); ++item) {
    if (entries[item].reserved3 != 0) return refuseReservedByte(call, item);
    if (entries[item].frameType > QOR_LIN_FRAME_TYPE_MAX) {
      return call.fail(GeneralError::InvalidParameter, "frame type '0x%x' is unknown", entries[item].frameType);
    }
  }
  return 0;
}

uint32_t sendRecord(const kit::Call& call, uint32_t parameterLength, uint8_t table, uint8_t position, uint32_t flags,
                    std::span<const Qor_Lin_ScheduleEntry_t> entries) {
  const auto count = static_cast<uint16_t>(entries.size());
  kit::RecordWriter record(parameterLength);
  record.u8(table).u8(position).u8(static_cast<uint8_t>(flags & 1u)).zeros(3).u16(count);
  for (const Qor_Lin_ScheduleEntry_t& entry : entries) {
    record.u8(entry.frameId).u8(entry.frameType).u8(entry.entryOption).u8(0).u32(ticksOf(entry.delayNs));
  }
  return call.send(kFillCommand, record);
}

uint32_t fillTable(const kit::Call& call, uint32_t flags, uint8_t table,
                   std::span<const Qor_Lin_ScheduleEntry_t> entries) {
  if (uint32_t code = checkEntries(call, entries)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  const uint32_t perRecord = parameterLength > kRecordHead ? (parameterLength - kRecordHead) / kEntrySize : 0;
  if (perRecord == 0) {
    return call.fail(GeneralError::InvalidDataLength, "parameter length %u leaves no room for an entry",
                     parameterLength);
  }
  if (entries.empty()) return sendRecord(call, parameterLength, table, kStartTable, flags, entries);
  return kit::forEachPiece(static_cast<uint32_t>(entries.size()), perRecord, [&](uint32_t first, uint32_t count) {
    return sendRecord(call, parameterLength, table, first == 0 ? kStartTable : kAppend, flags,
                      entries.subspan(first, count));
  });
}

uint32_t fillTyped(const kit::Call& call, uint32_t flags, uint8_t table, uint16_t count,
                   const Qor_Lin_ScheduleEntry_t* entries) {
  if (uint32_t code = checkFill(call, flags, count, entries)) return code;
  return fillTable(call, flags, table, std::span(entries, count));
}

uint32_t fillPlain(const kit::Call& call, uint32_t flags, uint8_t table, uint16_t count,
                   const Qor_Lin_PlainScheduleEntry_t* entries) {
  if (uint32_t code = checkFill(call, flags, count, entries)) return code;
  std::vector<Qor_Lin_ScheduleEntry_t> typed;
  typed.reserve(count);
  for (size_t item = 0; item < count; ++item) {
    const Qor_Lin_PlainScheduleEntry_t& plain = entries[item];
    if (std::any_of(std::begin(plain.reserved1), std::end(plain.reserved1), [](uint8_t byte) { return byte != 0; })) {
      return refuseReservedByte(call, item);
    }
    typed.push_back({plain.frameId, 0, 0, 0, plain.delayNs});
  }
  return fillTable(call, flags, table, typed);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_MasterTask_FillScheduleTable_WithFrameType(uint32_t port, uint32_t flags, uint8_t table,
                                                            uint16_t count,
                                                            const Qor_Lin_ScheduleEntry_t* entries) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::fillTyped(call, flags, table, count, entries);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_MasterTask_FillScheduleTable(uint32_t port, uint32_t flags, uint8_t table, uint16_t count,
                                              const Qor_Lin_PlainScheduleEntry_t* entries) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::fillPlain(call, flags, table, count, entries);
} catch (...) {
  return kLin.failedCall(port);
}
