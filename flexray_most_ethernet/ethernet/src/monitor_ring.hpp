// The host's ring of Ethernet monitor items: the core's callback stores the items of each block the firmware pushes,
// the application reads them out whole and in order. Items are walked by their length: one too short for its head,
// longer than the rest of its block or (being 0) one that would not advance ends the block. A full ring drops the
// rest of the block. Every item dropped (and every broken rest of a block) is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "monitor_items.hpp"
#include "qor_kit/byte_ring.hpp"

namespace qor::ethernet {

class MonitorRing {
 public:
  explicit MonitorRing(size_t capacity) : ring_(capacity) {}

  // A block from the firmware, on the core's delivering thread.
  void deliver(std::span<const uint8_t> block);

  struct Taken {
    uint32_t items = 0;
    uint32_t bytes = 0;
    uint32_t tooLargeItemBytes = 0;  // of a first item larger than the whole buffer, which stays
  };
  // On the application's thread: the oldest whole items that fit into out, at most maxItems.
  Taken read(std::span<uint8_t> out, uint32_t maxItems);

  size_t items() const;
  uint64_t dropped() const;

 private:
  mutable std::mutex mutex_;  // between the core's delivering thread and the application's reader
  kit::ByteRing ring_;
  size_t items_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace qor::ethernet
