#include <span>
#include <vector>

#include "can_library.hpp"
#include "qor_can_tx_trace.h"
#include "qor_error_codes.h"
#include "qor_kit/call.hpp"
#include "tx_trace_records.hpp"

namespace qor::can {
namespace {

using kit::GeneralError;

constexpr uint32_t kLongestHeadBytes = 16;

kit::RecordWriter traceRecord(uint32_t subFunction, uint32_t handle) {
  kit::RecordWriter record(kLongestHeadBytes);
  record.u32(subFunction).u32(handle);
  return record;
}

uint32_t exchangeTrace(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kTxTraceCommand, kTxTraceControlBytes, record, answer, kTxTraceAnswerCapacity);
}

uint32_t exchangeTrace(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return exchangeTrace(call, record, answer);
}

uint32_t checkProperty(const kit::Call& call, uint16_t property) {
  if (property <= QOR_CAN_TX_TRACE_LAST_PROPERTY) return 0;
  return call.fail(GeneralError::InvalidParameter, "property id is unknown");
}

uint32_t allocate(const kit::Call& call, uint32_t* handle) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(handle, "handle")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTrace(call, traceRecord(kTraceAllocate, 0), answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint32_t allocated = reader.u32(8);
  if (!reader.complete()) return call.shortAnswer(reader);
  *handle = allocated;
  return 0;
}

uint32_t sendDownloadChunk(const kit::Call& call, uint32_t parameterLength, uint32_t handle, uint32_t flags,
                           uint32_t records, const kit::RecordWriter& recordBytes) {
  kit::RecordWriter chunk(parameterLength);
  chunk.u32(kTraceDownload).u32(handle).u32(flags).u32(records).bytes(recordBytes.view());
  return exchangeTrace(call, chunk);
}

uint32_t download(const kit::Call& call, uint32_t handle, uint32_t count, uint32_t flags,
                  const Qor_Can_TxTrace_Item_t* items) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_CAN_TX_TRACE_DOWNLOAD_FLAGS_DEFINED)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(items, "items")) return code;
  const std::span<const Qor_Can_TxTrace_Item_t> all(items, count);
  for (const Qor_Can_TxTrace_Item_t& item : all) {
    if (uint32_t code = checkDlc(call, item.dlc)) return code;
  }
  // A chunk is sent once its records pass this, so the longest record after it still fits.
  uint32_t threshold = 0;
  if (uint32_t code = call.pieceLength(kTraceDownloadHeadBytes + kLongestTraceRecordBytes, &threshold)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;

  uint32_t downloadFlags = flags;
  kit::RecordWriter records(parameterLength - kTraceDownloadHeadBytes);
  uint32_t inChunk = 0;
  for (size_t index = 0; index < all.size(); ++index) {
    appendTraceRecord(records, all[index]);
    ++inChunk;
    if (records.size() <= threshold && index + 1 < all.size()) continue;
    if (uint32_t code = sendDownloadChunk(call, parameterLength, handle, downloadFlags, inChunk, records)) return code;
    downloadFlags |= kTraceDownloadContinues;
    records = kit::RecordWriter(parameterLength - kTraceDownloadHeadBytes);
    inChunk = 0;
  }
  return 0;
}

uint32_t getState(const kit::Call& call, uint32_t handle, Qor_Can_TxTrace_State_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTrace(call, traceRecord(kTraceState, handle), answer)) return code;
  const kit::AnswerReader reader(answer);
  const Qor_Can_TxTrace_State_t decoded{traceStateOfBits(reader.u32(8)), reader.u32(12), reader.u32(16)};
  if (!reader.complete()) return call.shortAnswer(reader);
  *state = decoded;
  return 0;
}

uint32_t setProperty(const kit::Call& call, uint32_t handle, uint16_t property, uint32_t value) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkProperty(call, property)) return code;
  kit::RecordWriter record = traceRecord(kTraceSetProperty, handle);
  record.u16(property).u16(0).u32(value);
  return exchangeTrace(call, record);
}

uint32_t getProperty(const kit::Call& call, uint32_t handle, uint16_t property, uint32_t* value) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  if (uint32_t code = checkProperty(call, property)) return code;
  kit::RecordWriter record = traceRecord(kTraceGetProperty, handle);
  record.u16(property).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTrace(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint16_t answered = reader.u16(8);
  const uint32_t read = reader.u32(12);
  if (!reader.complete()) return call.shortAnswer(reader);
  if (answered != property) return call.fail(QOR_ERR_SERVER_INTERNAL);
  *value = read;
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_TxTrace_Allocate(uint32_t port, uint32_t* handle) try {
  return qor::can::allocate(Call(kCan, port), handle);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_Free(uint32_t port, uint32_t handle) try {
  const Call call(kCan, port);
  if (uint32_t code = qor::can::checkCanInterface(call)) return code;
  return qor::can::exchangeTrace(call, qor::can::traceRecord(qor::can::kTraceFree, handle));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_Download(uint32_t port, uint32_t handle, uint32_t count, uint32_t flags,
                                  const Qor_Can_TxTrace_Item_t* items) try {
  return qor::can::download(Call(kCan, port), handle, count, flags, items);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_Play(uint32_t port, uint32_t handle, uint32_t flags) try {
  const Call call(kCan, port);
  if (uint32_t code = qor::can::checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  qor::kit::RecordWriter record = qor::can::traceRecord(qor::can::kTracePlay, handle);
  record.u32(0);
  return qor::can::exchangeTrace(call, record);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_GetState(uint32_t port, uint32_t handle, Qor_Can_TxTrace_State_t* state) try {
  return qor::can::getState(Call(kCan, port), handle, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_Property_SetById(uint32_t port, uint32_t handle, uint16_t property, uint32_t value) try {
  return qor::can::setProperty(Call(kCan, port), handle, property, value);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxTrace_Property_GetById(uint32_t port, uint32_t handle, uint16_t property, uint32_t* value) try {
  return qor::can::getProperty(Call(kCan, port), handle, property, value);
} catch (...) {
  return kCan.failedCall(port);
}
