// The host's ring of monitor items of one K-Line monitor: nodes one after the other in a fixed block of memory, each
// a 16-byte head (u32 node size, u32 0, u64 the next node's position + 1, 0 for the newest) and the item as the
// firmware sent it. A new item that finds no room gives up the oldest nodes in its way (at a wrap-around also those
// up to the ring's end); the newest item kept then carries the overflow mark (bit 7 of the item's flag byte), and so
// does the newest item at a wrap-around. Nothing is lost unmarked: an item that cannot be kept marks the newest, or,
// in an empty ring, the next one kept. Not thread-safe: its owner guards it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qor::kline {

inline constexpr size_t kRingNodeHead = 16;
inline constexpr uint8_t kOverflowMark = 0x80;

class MonitorRing {
 public:
  // flagOffset: where an item keeps its flag byte.
  MonitorRing(size_t size, size_t flagOffset);

  void append(std::span<const uint8_t> item);
  // Items were lost: the newest item, or the next one appended to an empty ring, carries the mark.
  void markLoss();

  bool holdsItems() const { return holdsItems_; }
  // The oldest item; empty when the ring holds none.
  std::span<const uint8_t> oldest() const;
  void dropOldest();

 private:
  uint32_t nodeSize(size_t node) const;
  std::optional<size_t> next(size_t node) const;
  void link(size_t node, size_t next);
  void mark(size_t node);

  std::vector<uint8_t> memory_;
  const size_t flagOffset_;
  size_t oldest_ = 0;
  size_t nextFree_ = 0;
  size_t newest_ = 0;
  bool holdsItems_ = false;
  bool lossPending_ = false;
};

}  // namespace qor::kline
