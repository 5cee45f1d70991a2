// Bytes kept in arrival order in one allocation of fixed capacity that wraps at its end: records of variable length
// go in whole or not at all, and are read back (their heads too) across the wrap. Not guarded: the owner locks.
//
//   ByteRing ring(1 << 20);
//   if (!ring.push(item)) ++dropped;
//   uint8_t head[2];
//   ring.peek(0, head);              // the oldest record's head, wherever the wrap cuts it
//   ring.peek(0, std::span(out, n));
//   ring.pop(n);
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>

namespace qor::kit {

class ByteRing {
 public:
  // The capacity is allocated at once and not filled: untouched pages cost no memory. At least one byte.
  explicit ByteRing(size_t capacity)
      : bytes_(std::make_unique_for_overwrite<uint8_t[]>(capacity)), capacity_(capacity) {
    if (capacity == 0) throw std::invalid_argument("a byte ring needs room");
  }

  size_t capacity() const { return capacity_; }
  size_t used() const { return used_; }
  size_t free() const { return capacity_ - used_; }
  // Where the next byte goes, from the allocation's start.
  size_t writeOffset() const { return (read_ + used_) % capacity_; }

  // All of bytes behind the newest, or nothing when they do not fit.
  bool push(std::span<const uint8_t> bytes) {
    if (bytes.size() > free()) return false;
    const size_t at = writeOffset();
    const size_t first = std::min(bytes.size(), capacity_ - at);
    std::memcpy(bytes_.get() + at, bytes.data(), first);
    std::memcpy(bytes_.get(), bytes.data() + first, bytes.size() - first);
    used_ += bytes.size();
    return true;
  }

  // Copies out.size() bytes from offset bytes after the oldest; false (nothing copied) beyond the bytes held.
  bool peek(size_t offset, std::span<uint8_t> out) const {
    if (offset > used_ || out.size() > used_ - offset) return false;
    const size_t at = (read_ + offset) % capacity_;
    const size_t first = std::min(out.size(), capacity_ - at);
    std::memcpy(out.data(), bytes_.get() + at, first);
    std::memcpy(out.data() + first, bytes_.get(), out.size() - first);
    return true;
  }

  // Forgets the count oldest bytes (at most all).
  void pop(size_t count) {
    count = std::min(count, used_);
    read_ = (read_ + count) % capacity_;
    used_ -= count;
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_;
  size_t read_ = 0;
  size_t used_ = 0;
};

}  // namespace qor::kit
