// Reading little-endian values out of bytes that arrived from a device, a queue or a file: every read is checked
// against the bytes there are.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

namespace qor {

static_assert(std::endian::native == std::endian::little, "records are read as they lie in memory");

// The value of type T at offset; empty when the bytes end before it does.
template <class T>
std::optional<T> readAt(std::span<const uint8_t> bytes, size_t offset) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

inline std::optional<uint32_t> readU32LE(std::span<const uint8_t> bytes, size_t offset) {
  return readAt<uint32_t>(bytes, offset);
}

inline std::optional<uint16_t> readU16LE(std::span<const uint8_t> bytes, size_t offset) {
  return readAt<uint16_t>(bytes, offset);
}

} // namespace qor
