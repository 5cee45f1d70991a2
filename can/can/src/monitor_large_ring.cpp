#include "monitor_large_ring.hpp"

#include "monitor_items.hpp"

namespace qor::can {

void LargeItemRing::deliver(uint32_t, std::span<const uint8_t> block) {
  std::lock_guard lock(mutex_);
  const kit::WalkEnd end = walkLargeItems(block, [&](std::span<const uint8_t> item) {
    if (stored_ == slots_.size()) return false;
    fillSlot(slots_[write_], item);
    write_ = (write_ + 1) % slots_.size();
    ++stored_;
    return true;
  });
  if (end != kit::WalkEnd::Complete) markNewest();
}

void LargeItemRing::markNewest() {
  if (stored_ == 0) return;
  const size_t newest = (write_ + slots_.size() - 1) % slots_.size();
  slots_[newest].flags |= QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED;
}

LargeItemRing::Taken LargeItemRing::read(Can_Param_Monitor_Buffer64_LargeItem_t* out, uint32_t capacity) {
  std::lock_guard lock(mutex_);
  uint32_t count = 0;
  for (; count < capacity && stored_ > 0; ++count, --stored_) {
    out[count] = slots_[read_];
    read_ = (read_ + 1) % slots_.size();
  }
  return {count, stored_ > 0};
}

}  // namespace qor::can
