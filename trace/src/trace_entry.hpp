// One recorded bus event: a Qor_Trace_Entry_t record of exactly its length, shared by everything that holds it (a
// channel's batch, the merge queue, the store, the list view). Records are built from firmware items or taken back
// from the swap file, and both roads check the bytes first, so a held record always has at least the fixed part of
// its bus: 44 bytes for CAN, 48 for LIN, 40 (the time stamp) for FlexRay and Ethernet. Fields past that are read
// with fieldAt/bytesAt, which stop at the record's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "qor_shared/byte_reader.hpp"
#include "qor_trace_entry.h"

namespace qor::trace {

class TraceEntry;
using SharedEntry = std::shared_ptr<TraceEntry>;

// Record offsets that readers and builders share.
namespace offsets {
inline constexpr size_t kHead = sizeof(Qor_Trace_Entry_t);
inline constexpr size_t kCanData = offsetof(Qor_Trace_Entry_Can_t, data);
inline constexpr size_t kLinRecord = sizeof(Qor_Trace_Entry_Lin_t);
inline constexpr size_t kItemTimestampEnd = offsetof(Qor_Trace_Entry_Ethernet_t, flags);  // FlexRay and Ethernet
inline constexpr size_t kFlexRayPayload = sizeof(Qor_Trace_Entry_FlexRay_t);
inline constexpr size_t kEthernetFrame = sizeof(Qor_Trace_Entry_Ethernet_t);
}  // namespace offsets

// The little-endian value at offset, 0 where the record ends before it does.
template <class T>
T fieldAt(std::span<const uint8_t> record, size_t offset) {
  return readAt<T>(record, offset).value_or(T{});
}

// Up to count bytes from offset: fewer where the record ends first.
std::span<const uint8_t> bytesAt(std::span<const uint8_t> record, size_t offset, size_t count);

class TraceEntry {
 public:
  // Builders from the firmware's monitor items as a poll returned them: item holds the bytes from the item's start
  // to the end of the response. Null when the item is cut or too short for its own head.
  static SharedEntry fromCanItem(uint32_t channelId, std::span<const uint8_t> item);
  // item: the 12-byte item header, then the small item. More than 9 data and checksum bytes are cut to 9.
  static SharedEntry fromLinItem(uint32_t channelId, std::span<const uint8_t> item);
  static SharedEntry fromFlexRayEntry(uint32_t channelId, std::span<const uint8_t> item);
  static SharedEntry fromEthernetItem(uint32_t channelId, std::span<const uint8_t> item);
  // A record as it was stored; null when its length or its bus's fixed part do not hold together.
  static SharedEntry fromRecord(std::span<const uint8_t> record);

  std::span<const uint8_t> record() const { return record_; }
  uint32_t length() const { return static_cast<uint32_t>(record_.size()); }
  uint32_t channelId() const { return fieldAt<uint32_t>(record_, offsetof(Qor_Trace_Entry_t, channelId)); }
  uint64_t timestamp() const { return fieldAt<uint64_t>(record_, offsetof(Qor_Trace_Entry_t, timestamp)); }
  uint64_t relativeTimestamp() const {
    return fieldAt<uint64_t>(record_, offsetof(Qor_Trace_Entry_t, relativeTimestamp));
  }
  uint8_t busType() const { return record_[offsetof(Qor_Trace_Entry_t, busType)]; }

  // later's time stamp minus earlier's, wrapping when earlier is the later one.
  void setRelativeTimestamp(const TraceEntry& later, const TraceEntry& earlier);
  // Marks the last record before data were lost: CAN flags bit 7, LIN status bit 7, FlexRay and Ethernet type 0.
  void setBufferOverrunFlag();

 private:
  // Only the checked builders above make entries.
  struct Checked {
    explicit Checked() = default;
  };
  static SharedEntry adopt(std::vector<uint8_t> record) {
    return std::make_shared<TraceEntry>(Checked{}, std::move(record));
  }

 public:
  TraceEntry(Checked, std::vector<uint8_t> record) : record_(std::move(record)) {}

 private:
  std::vector<uint8_t> record_;
};

}  // namespace qor::trace
