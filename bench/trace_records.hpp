// Trace records of the four buses built field by field, as the trace's reads hand them out, for the benchmarks of
// the file writers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "qor_trace_entry.h"

namespace qor::bench {

// A record of this many bytes with its head filled in.
inline std::vector<uint8_t> headedRecord(size_t length, uint32_t channel, uint64_t time, uint32_t busType) {
  std::vector<uint8_t> record(length, 0);
  const Qor_Trace_Entry_t head{static_cast<uint32_t>(length), channel, time, 0, busType};
  std::memcpy(record.data(), &head, sizeof head);
  return record;
}

template <class T>
void putAt(std::vector<uint8_t>& record, size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

// CAN, CAN FD (flags with QOR_TRACE_CAN_FD) and the rest of the QOR_TRACE_CAN_* flags; at most 64 data bytes.
inline std::vector<uint8_t> canRecord(uint32_t channel, uint64_t time, uint32_t identifier, uint8_t flags,
                                      std::span<const uint8_t> data) {
  const size_t count = std::min<size_t>(data.size(), 64);
  auto record = headedRecord(offsetof(Qor_Trace_Entry_Can_t, data) + count, channel, time, QOR_TRACE_BUS_CAN);
  putAt(record, offsetof(Qor_Trace_Entry_Can_t, timestamp), time);
  putAt(record, offsetof(Qor_Trace_Entry_Can_t, identifier), identifier);
  static constexpr uint8_t kFdCodes[] = {12, 16, 20, 24, 32, 48, 64};
  uint8_t dlc = static_cast<uint8_t>(count);
  for (uint8_t code = 0; count > 8 && code < std::size(kFdCodes); ++code) {
    if (count <= kFdCodes[code]) {
      dlc = static_cast<uint8_t>(9 + code);
      break;
    }
  }
  record[offsetof(Qor_Trace_Entry_Can_t, flags)] = flags;
  record[offsetof(Qor_Trace_Entry_Can_t, dlc)] = dlc;
  record[offsetof(Qor_Trace_Entry_Can_t, dataLength)] = static_cast<uint8_t>(count);
  std::copy_n(data.begin(), count, record.begin() + offsetof(Qor_Trace_Entry_Can_t, data));
  return record;
}

// bytes: the data, then the checksum; at most 9. 19200 baud.
inline std::vector<uint8_t> linRecord(uint32_t channel, uint64_t time, uint8_t identifier,
                                      std::span<const uint8_t> bytes) {
  auto record = headedRecord(sizeof(Qor_Trace_Entry_Lin_t), channel, time, QOR_TRACE_BUS_LIN);
  const size_t count = std::min<size_t>(bytes.size(), 9);
  record[offsetof(Qor_Trace_Entry_Lin_t, byteCount)] = static_cast<uint8_t>(count);
  record[offsetof(Qor_Trace_Entry_Lin_t, identifier)] = identifier;
  std::copy_n(bytes.begin(), count, record.begin() + offsetof(Qor_Trace_Entry_Lin_t, bytes));
  putAt<uint32_t>(record, offsetof(Qor_Trace_Entry_Lin_t, bitTime), 52'083 * 8);
  return record;
}

// A frame received on channel A; an even number of payload bytes.
inline std::vector<uint8_t> flexRayRecord(uint32_t channel, uint64_t time, uint16_t slot, uint8_t cycle,
                                          std::span<const uint8_t> payload) {
  const size_t length = sizeof(Qor_Trace_Entry_FlexRay_t) + payload.size();
  auto record = headedRecord(length, channel, time, QOR_TRACE_BUS_FLEXRAY);
  putAt<uint16_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, entryLength),
                  static_cast<uint16_t>(length - sizeof(Qor_Trace_Entry_t)));
  putAt<uint16_t>(record, offsetof(Qor_Trace_Entry_FlexRay_t, entryType), 1);
  putAt(record, offsetof(Qor_Trace_Entry_FlexRay_t, timestamp), time);
  putAt(record, offsetof(Qor_Trace_Entry_FlexRay_t, slot), slot);
  record[offsetof(Qor_Trace_Entry_FlexRay_t, cycle)] = cycle;
  record[offsetof(Qor_Trace_Entry_FlexRay_t, payloadWords)] = static_cast<uint8_t>(payload.size() / 2);
  std::copy(payload.begin(), payload.end(), record.begin() + sizeof(Qor_Trace_Entry_FlexRay_t));
  return record;
}

// A frame the interface heard.
inline std::vector<uint8_t> ethernetRecord(uint32_t channel, uint64_t time, std::span<const uint8_t> frame) {
  const size_t length = sizeof(Qor_Trace_Entry_Ethernet_t) + frame.size();
  auto record = headedRecord(length, channel, time, QOR_TRACE_BUS_ETHERNET);
  putAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, itemLength),
                  static_cast<uint16_t>(length - sizeof(Qor_Trace_Entry_t)));
  putAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, itemType), 1);
  putAt(record, offsetof(Qor_Trace_Entry_Ethernet_t, timestamp), time);
  putAt<uint16_t>(record, offsetof(Qor_Trace_Entry_Ethernet_t, frameLength), static_cast<uint16_t>(frame.size()));
  std::copy(frame.begin(), frame.end(), record.begin() + sizeof(Qor_Trace_Entry_Ethernet_t));
  return record;
}

}  // namespace qor::bench
