// Building a parameter record for the firmware: little endian, packed, of a capacity fixed at construction (as a rule
// the port's maximum parameter length). Writing past the capacity writes nothing and marks the record as overflowed;
// the command helpers refuse such a record with the library's "invalid data length", so no caller can overrun.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace qor::kit {

class RecordWriter {
 public:
  explicit RecordWriter(size_t capacity) : capacity_(capacity) { bytes_.reserve(capacity); }

  RecordWriter& u8(uint8_t value) { return put(value); }
  RecordWriter& u16(uint16_t value) { return put(value); }
  RecordWriter& u32(uint32_t value) { return put(value); }
  RecordWriter& u64(uint64_t value) { return put(value); }
  RecordWriter& bytes(std::span<const uint8_t> data) { return append(data.data(), data.size()); }
  RecordWriter& bytes(const void* data, size_t count) { return append(data, count); }
  RecordWriter& zeros(size_t count);
  // Zeros up to the next multiple of four bytes.
  RecordWriter& padTo4() { return zeros((4 - bytes_.size() % 4) % 4); }
  // A record laid out as a plain struct, written as it lies in memory.
  template <class Record>
  RecordWriter& record(const Record& value) {
    static_assert(std::is_trivially_copyable_v<Record>);
    return append(&value, sizeof value);
  }

  size_t size() const { return bytes_.size(); }
  size_t capacity() const { return capacity_; }
  size_t room() const { return capacity_ - bytes_.size(); }
  bool overflowed() const { return overflowed_; }
  std::span<const uint8_t> view() const { return bytes_; }

 private:
  template <class T>
  RecordWriter& put(T value) {
    return append(&value, sizeof value);
  }
  RecordWriter& append(const void* data, size_t count);

  size_t capacity_;
  std::vector<uint8_t> bytes_;
  bool overflowed_ = false;
};

inline RecordWriter& RecordWriter::append(const void* data, size_t count) {
  if (overflowed_ || count > room()) {
    overflowed_ = true;
    return *this;
  }
  const auto* first = static_cast<const uint8_t*>(data);
  if (count != 0) bytes_.insert(bytes_.end(), first, first + count);
  return *this;
}

inline RecordWriter& RecordWriter::zeros(size_t count) {
  if (overflowed_ || count > room()) {
    overflowed_ = true;
    return *this;
  }
  bytes_.resize(bytes_.size() + count, 0);
  return *this;
}

}  // namespace qor::kit
