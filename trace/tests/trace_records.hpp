// Trace records for the tests: CAN frames, LIN frames, FlexRay entries and Ethernet frames with chosen fields.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "trace_entry.hpp"

namespace qor::trace::test {

using Bytes = std::vector<uint8_t>;

inline Bytes le(uint64_t value, size_t width) {
  Bytes bytes(width);
  for (size_t index = 0; index < width; ++index) bytes[index] = static_cast<uint8_t>(value >> (8 * index));
  return bytes;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline SharedEntry canFrame(uint32_t channel, uint64_t time, uint32_t identifier, uint8_t flags, Bytes data,
                            uint8_t dlc = 0xFF) {
  const uint8_t length = static_cast<uint8_t>(data.size());
  return TraceEntry::fromCanItem(
      channel, join({le(time, 8), le(identifier, 4), {flags, 0, dlc == 0xFF ? length : dlc, length}, data}));
}

inline SharedEntry linFrame(uint32_t channel, uint64_t time, uint16_t status, uint8_t identifier, Bytes bytes,
                            uint32_t bitTime) {
  return TraceEntry::fromLinItem(
      channel, join({le(20 + bytes.size(), 2), le(0, 2), le(time, 8),
                     {static_cast<uint8_t>(status), static_cast<uint8_t>(bytes.size()), identifier, 0},
                     le(bitTime, 4), bytes}));
}

// A FlexRay entry: type, then the bytes from entry offset 12 on.
inline SharedEntry flexRayEntry(uint32_t channel, uint64_t time, uint16_t type, Bytes rest) {
  return TraceEntry::fromFlexRayEntry(channel, join({le(12 + rest.size(), 2), le(type, 2), le(time, 8), rest}));
}

inline SharedEntry ethernetFrame(uint32_t channel, uint64_t time, uint8_t flags, Bytes frame, uint16_t type = 1) {
  return TraceEntry::fromEthernetItem(
      channel, join({le(16 + frame.size(), 2), le(type, 2), le(time, 8), {flags, 0}, le(frame.size(), 2), frame}));
}

}  // namespace qor::trace::test
