#include "spill_buffer.hpp"

#include <algorithm>

namespace qor::kline {

size_t SpillBuffer::deliver(std::span<uint8_t> out) {
  const size_t count = std::min(out.size(), pending());
  std::copy_n(bytes_.begin() + static_cast<ptrdiff_t>(offset_), count, out.begin());
  offset_ += count;
  if (pending() == 0) clear();
  return count;
}

void SpillBuffer::keep(std::span<const uint8_t> bytes) {
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(offset_));
  offset_ = 0;
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void SpillBuffer::clear() {
  bytes_.clear();
  offset_ = 0;
}

}  // namespace qor::kline
