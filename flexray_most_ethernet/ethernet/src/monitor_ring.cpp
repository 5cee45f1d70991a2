#include "monitor_ring.hpp"

namespace qor::ethernet {

void MonitorRing::deliver(std::span<const uint8_t> block) {
  std::lock_guard lock(mutex_);
  if (block.size() < kMonitorBlockHeadBytes) {
    ++dropped_;
    return;
  }
  bool full = false;
  const auto store = [&](std::span<const uint8_t> item) {
    full = full || !ring_.push(item);
    if (full) {
      ++dropped_;
    } else {
      ++items_;
    }
    return true;
  };
  if (walkMonitorItems(block.subspan(kMonitorBlockHeadBytes), store) == kit::WalkEnd::Broken) ++dropped_;
}

MonitorRing::Taken MonitorRing::read(std::span<uint8_t> out, uint32_t maxItems) {
  std::lock_guard lock(mutex_);
  Taken taken;
  while (items_ > 0 && taken.items < maxItems) {
    uint8_t head[2];
    ring_.peek(0, head);
    const uint16_t bytes = monitorItemBytes(head);
    if (bytes > out.size() - taken.bytes) {
      if (taken.items == 0) taken.tooLargeItemBytes = bytes;
      break;
    }
    ring_.peek(0, out.subspan(taken.bytes, bytes));
    ring_.pop(bytes);
    --items_;
    ++taken.items;
    taken.bytes += bytes;
  }
  return taken;
}

size_t MonitorRing::items() const {
  std::lock_guard lock(mutex_);
  return items_;
}

uint64_t MonitorRing::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace qor::ethernet
