// Received bytes of a port that did not fit the caller's buffer, waiting for the port's next reads in the order
// they arrived. It grows with what it must keep, so no received byte is dropped.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qor::kline {

class SpillBuffer {
 public:
  size_t pending() const { return bytes_.size() - offset_; }
  // Moves the oldest waiting bytes into out, as many as fit; returns their number.
  size_t deliver(std::span<uint8_t> out);
  // Keeps bytes behind those that wait.
  void keep(std::span<const uint8_t> bytes);
  void clear();

 private:
  std::vector<uint8_t> bytes_;
  size_t offset_ = 0;  // where the waiting bytes begin
};

}  // namespace qor::kline
