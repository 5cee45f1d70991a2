#include "tx_trace_records.hpp"

#include <algorithm>

#include "can_library.hpp"

namespace qor::can {
namespace {

constexpr uint32_t kRecordHeadBytes = 12;
constexpr uint8_t kShortDataBytes = 8;
constexpr uint32_t kLongDataMarker = 1u << 30;

}  // namespace

uint32_t traceRecordBytes(uint8_t dlc) { return kRecordHeadBytes + std::max(dataBytesOfDlc(dlc), kShortDataBytes); }

void appendTraceRecord(kit::RecordWriter& records, const Qor_Can_TxTrace_Item_t& item) {
  const uint8_t dataBytes = dataBytesOfDlc(item.dlc);
  const bool longData = dataBytes > kShortDataBytes;
  records.u32(item.firstValue).u32(longData ? item.identifier | kLongDataMarker : item.identifier);
  records.u8(item.dlc).u8(item.option1).u8(item.option3).u8(item.option2);
  records.bytes(item.data, dataBytes);
  if (!longData) records.zeros(kShortDataBytes - dataBytes);
}

uint32_t traceStateOfBits(uint32_t bits) { return (bits & 0x3u) + ((bits & 0x4u) != 0 ? 4 : 0); }

}  // namespace qor::can
