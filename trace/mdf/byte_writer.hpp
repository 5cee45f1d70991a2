// Little-endian packing of block data sections: every multi-byte value in an MDF file is little endian.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace MDF {

class ByteWriter {
 public:
  explicit ByteWriter(size_t reserve = 0) { bytes_.reserve(reserve); }

  template <typename T>
  ByteWriter& Put(T value) {
    static_assert(std::is_arithmetic_v<T>);
    static_assert(std::endian::native == std::endian::little, "the file layout is written as the host holds it");
    const size_t at = bytes_.size();
    bytes_.resize(at + sizeof(T));
    std::memcpy(bytes_.data() + at, &value, sizeof(T));
    return *this;
  }
  ByteWriter& Chars(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  ByteWriter& Zeros(size_t count) {
    bytes_.resize(bytes_.size() + count);
    return *this;
  }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace MDF
