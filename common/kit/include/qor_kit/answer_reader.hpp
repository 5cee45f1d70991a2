// Reading an answer of the firmware: every read is checked against the bytes that arrived. A read past the end gives
// 0 and marks the reader short; a function reads what it needs and then asks complete(), or asks has(n) first, and
// reports the library's "invalid response length" (Call::shortAnswer) instead of using stale bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "qor_shared/byte_reader.hpp"

namespace qor::kit {

class AnswerReader {
 public:
  explicit AnswerReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }
  bool has(size_t count) const { return bytes_.size() >= count; }
  // No read so far went past the end.
  bool complete() const { return !short_; }

  uint8_t u8(size_t offset) const { return read<uint8_t>(offset); }
  uint16_t u16(size_t offset) const { return read<uint16_t>(offset); }
  uint32_t u32(size_t offset) const { return read<uint32_t>(offset); }
  uint64_t u64(size_t offset) const { return read<uint64_t>(offset); }
  // The count bytes from offset; empty (and short) when they are not all there.
  std::span<const uint8_t> bytes(size_t offset, size_t count) const;
  // Everything from offset on; empty when the answer ends before it.
  std::span<const uint8_t> rest(size_t offset) const {
    return offset < bytes_.size() ? bytes_.subspan(offset) : std::span<const uint8_t>();
  }

  // A count that the answer carries, cut to the items of itemSize bytes that lie from offset on.
  uint32_t itemsThatFit(uint32_t count, size_t offset, size_t itemSize) const {
    const size_t available = offset < bytes_.size() ? (bytes_.size() - offset) / itemSize : 0;
    return static_cast<uint32_t>(std::min<size_t>(count, available));
  }

 private:
  template <class T>
  T read(size_t offset) const {
    if (auto value = readAt<T>(bytes_, offset)) return *value;
    short_ = true;
    return 0;
  }

  std::span<const uint8_t> bytes_;
  mutable bool short_ = false;
};

inline std::span<const uint8_t> AnswerReader::bytes(size_t offset, size_t count) const {
  if (offset > bytes_.size() || bytes_.size() - offset < count) {
    short_ = true;
    return {};
  }
  return bytes_.subspan(offset, count);
}

}  // namespace qor::kit
