// Records packed into a caller's buffer as the trace reads hand them out: the first at offset 0, each next one at
// the next multiple of 8 after the end of the one before; the bytes between are not written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "trace_library.hpp"

namespace qor::trace {

class RecordPacker {
 public:
  RecordPacker(uint8_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  // A record whose aligned end lies past the capacity is not written: 0x214000A.
  void add(std::span<const uint8_t> record) {
    const size_t end = (used_ + record.size() + 7) / 8 * 8;
    if (end > capacity_) {
      throw TraceException(kNoPort, kBufferTooSmall,
                           "the response buffer is too small for all available monitor entries");
    }
    std::memcpy(buffer_ + used_, record.data(), record.size());
    last_ = buffer_ + used_;
    used_ = end;
  }
  // The record added last, to adjust a field of the copy.
  uint8_t* last() const { return last_; }
  size_t used() const { return used_; }

 private:
  uint8_t* buffer_;
  size_t capacity_;
  size_t used_ = 0;
  uint8_t* last_ = nullptr;
};

}  // namespace qor::trace
