#include "trace_entry.hpp"

#include <algorithm>
#include <cstring>

namespace qor::trace {
namespace {

// Firmware item layouts.
constexpr size_t kCanItemHead = 16;
constexpr size_t kCanItemDataLength = 15;
constexpr size_t kCanMaxData = sizeof(Qor_Trace_Entry_Can_t::data);
constexpr size_t kLinItemHeader = 12;
constexpr size_t kLinItemTimestamp = 4;
constexpr size_t kLinSmallItemHead = 8;
constexpr size_t kLinMaxBytes = sizeof(Qor_Trace_Entry_Lin_t::bytes);
constexpr size_t kItemTimestamp = 4;  // FlexRay and Ethernet
constexpr size_t kItemHead = offsets::kItemTimestampEnd - offsets::kHead;

template <class T>
void put(std::vector<uint8_t>& record, size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

std::vector<uint8_t> headedRecord(size_t length, uint32_t channelId, uint32_t busType) {
  std::vector<uint8_t> record(length);
  put(record, offsetof(Qor_Trace_Entry_t, length), static_cast<uint32_t>(length));
  put(record, offsetof(Qor_Trace_Entry_t, channelId), channelId);
  put(record, offsetof(Qor_Trace_Entry_t, busType), busType);
  return record;
}

void setTimestamp(std::vector<uint8_t>& record, uint64_t timestamp) {
  put(record, offsetof(Qor_Trace_Entry_t, timestamp), timestamp);
}

// FlexRay entries and Ethernet items are copied whole behind the head; empty when the item does not hold together.
std::vector<uint8_t> wholeItemRecord(uint32_t channelId, std::span<const uint8_t> item, uint32_t busType) {
  const auto itemLength = readAt<uint16_t>(item, 0);
  if (!itemLength || *itemLength < kItemHead || *itemLength > item.size()) return {};
  std::vector<uint8_t> record = headedRecord(offsets::kHead + *itemLength, channelId, busType);
  std::copy_n(item.begin(), *itemLength, record.begin() + offsets::kHead);
  setTimestamp(record, fieldAt<uint64_t>(item, kItemTimestamp));
  return record;
}

size_t minimumLength(uint8_t busType) {
  switch (busType) {
    case QOR_TRACE_BUS_CAN: return offsets::kCanData;
    case QOR_TRACE_BUS_LIN: return offsets::kLinRecord;
    case QOR_TRACE_BUS_FLEXRAY:
    case QOR_TRACE_BUS_ETHERNET: return offsets::kItemTimestampEnd;
    default: return offsets::kHead;
  }
}

}  // namespace

std::span<const uint8_t> bytesAt(std::span<const uint8_t> record, size_t offset, size_t count) {
  if (offset >= record.size()) return {};
  return record.subspan(offset, std::min(count, record.size() - offset));
}

SharedEntry TraceEntry::fromCanItem(uint32_t channelId, std::span<const uint8_t> item) {
  if (item.size() < kCanItemHead) return nullptr;
  const size_t dataLength = item[kCanItemDataLength];
  if (dataLength > kCanMaxData || item.size() - kCanItemHead < dataLength) return nullptr;
  std::vector<uint8_t> record = headedRecord(offsets::kCanData + dataLength, channelId, QOR_TRACE_BUS_CAN);
  std::copy_n(item.begin(), kCanItemHead + dataLength, record.begin() + offsets::kHead);
  setTimestamp(record, fieldAt<uint64_t>(item, 0));
  return adopt(std::move(record));
}

SharedEntry TraceEntry::fromLinItem(uint32_t channelId, std::span<const uint8_t> item) {
  if (item.size() < kLinItemHeader + kLinSmallItemHead) return nullptr;
  const std::span<const uint8_t> small = item.subspan(kLinItemHeader);
  const size_t count = std::min({size_t{small[1]}, kLinMaxBytes, small.size() - kLinSmallItemHead});
  std::vector<uint8_t> record = headedRecord(offsets::kLinRecord, channelId, QOR_TRACE_BUS_LIN);
  setTimestamp(record, fieldAt<uint64_t>(item, kLinItemTimestamp));
  put<uint16_t>(record, offsetof(Qor_Trace_Entry_Lin_t, status), small[0]);
  record[offsetof(Qor_Trace_Entry_Lin_t, byteCount)] = static_cast<uint8_t>(count);
  record[offsetof(Qor_Trace_Entry_Lin_t, identifier)] = small[2];
  std::copy_n(small.begin() + kLinSmallItemHead, count, record.begin() + offsetof(Qor_Trace_Entry_Lin_t, bytes));
  put(record, offsetof(Qor_Trace_Entry_Lin_t, bitTime), fieldAt<uint32_t>(small, 4));
  return adopt(std::move(record));
}

SharedEntry TraceEntry::fromFlexRayEntry(uint32_t channelId, std::span<const uint8_t> item) {
  std::vector<uint8_t> record = wholeItemRecord(channelId, item, QOR_TRACE_BUS_FLEXRAY);
  return record.empty() ? nullptr : adopt(std::move(record));
}

SharedEntry TraceEntry::fromEthernetItem(uint32_t channelId, std::span<const uint8_t> item) {
  std::vector<uint8_t> record = wholeItemRecord(channelId, item, QOR_TRACE_BUS_ETHERNET);
  return record.empty() ? nullptr : adopt(std::move(record));
}

SharedEntry TraceEntry::fromRecord(std::span<const uint8_t> record) {
  const auto length = readAt<uint32_t>(record, 0);
  if (!length || *length != record.size() || record.size() < offsets::kHead ||
      record.size() > QOR_TRACE_ENTRY_MAX_LENGTH) {
    return nullptr;
  }
  const uint8_t busType = record[offsetof(Qor_Trace_Entry_t, busType)];
  if (record.size() < minimumLength(busType)) return nullptr;
  if (busType == QOR_TRACE_BUS_LIN && record.size() != offsets::kLinRecord) return nullptr;
  return adopt(std::vector<uint8_t>(record.begin(), record.end()));
}

void TraceEntry::setRelativeTimestamp(const TraceEntry& later, const TraceEntry& earlier) {
  put(record_, offsetof(Qor_Trace_Entry_t, relativeTimestamp), later.timestamp() - earlier.timestamp());
}

void TraceEntry::setBufferOverrunFlag() {
  switch (busType()) {
    case QOR_TRACE_BUS_CAN: record_[offsetof(Qor_Trace_Entry_Can_t, flags)] |= QOR_TRACE_CAN_BUFFER_OVERRUN; break;
    case QOR_TRACE_BUS_LIN: record_[offsetof(Qor_Trace_Entry_Lin_t, status)] |= 0x80; break;
    case QOR_TRACE_BUS_FLEXRAY:
    case QOR_TRACE_BUS_ETHERNET: put<uint16_t>(record_, offsetof(Qor_Trace_Entry_Ethernet_t, itemType), 0); break;
    default: break;
  }
}

}  // namespace qor::trace
