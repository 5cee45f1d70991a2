#include "monitors/monitor_ring.hpp"

#include <algorithm>
#include <cstring>

namespace qor::client {

void MonitorRing::write(const uint8_t* data, size_t length) {
  if (length == 0) return;
  if (length > free_) {
    dataLost_ = true;
    return;
  }
  const size_t first = std::min(length, buffer_.size() - write_);
  memcpy(buffer_.data() + write_, data, first);
  memcpy(buffer_.data(), data + first, length - first);
  write_ = (write_ + length) % buffer_.size();
  used_ += length;
  free_ -= length;
}

void MonitorRing::copyOut(uint8_t* out, size_t length) {
  if (length == 0) return;
  const size_t first = std::min(length, buffer_.size() - read_);
  memcpy(out, buffer_.data() + read_, first);
  memcpy(out + first, buffer_.data(), length - first);
  read_ = (read_ + length) % buffer_.size();
  used_ -= length;
  free_ += length;
}

bool MonitorRing::readAll(uint8_t* out) {
  copyOut(out, used_);
  read_ = write_ = 0;
  const bool lost = dataLost_;
  dataLost_ = false;
  return lost;
}

size_t MonitorRing::readItems(size_t itemSize, size_t capacity, uint8_t* out, bool& dataLost, bool& more) {
  const size_t length = std::min(used_ / itemSize, capacity / itemSize) * itemSize;
  copyOut(out, length);
  dataLost = dataLost_;
  dataLost_ = false;
  more = used_ != 0;
  return length / itemSize;
}

} // namespace qor::client
