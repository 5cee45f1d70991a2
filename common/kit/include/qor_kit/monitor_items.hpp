// Monitor items as devices send them: time stamps in device units and items of variable length back to back in a
// block, each of which may lie about its length.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qor::kit {

// Units of unitNs nanoseconds; in 64 bits, as a 32-bit count of units overflows 32 bits of nanoseconds.
constexpr uint64_t scaledTimeNs(uint32_t units, uint32_t unitNs) { return uint64_t{units} * unitNs; }

// An item's extent as its head says: its bytes and the distance to the next item.
struct ItemExtent {
  size_t bytes;
  size_t step;
};

enum class WalkEnd {
  Complete,  // every byte of the block belonged to whole items
  Broken,    // an item was cut or malformed; it and what follows were not visited
  Stopped,   // visit asked to stop
};

// Visits the items of block from its start. measure(rest) gets the bytes from the item on (at least headBytes of
// them) and gives the item's extent, or none when its head is malformed; an item is visited only when all of its
// bytes lie in the block. visit(item) returns false to stop. A step past the block's end (padding of the last
// item) ends the walk as complete.
template <class Measure, class Visit>
WalkEnd walkItems(std::span<const uint8_t> block, size_t headBytes, Measure measure, Visit visit) {
  while (!block.empty()) {
    if (block.size() < headBytes) return WalkEnd::Broken;
    const std::optional<ItemExtent> extent = measure(block);
    if (!extent || extent->bytes < headBytes || extent->bytes > block.size() || extent->step < extent->bytes ||
        extent->step == 0) {
      return WalkEnd::Broken;
    }
    if (!visit(block.first(extent->bytes))) return WalkEnd::Stopped;
    block = block.subspan(std::min(extent->step, block.size()));
  }
  return WalkEnd::Complete;
}

}  // namespace qor::kit
