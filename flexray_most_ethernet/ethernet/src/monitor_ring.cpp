#include "monitor_ring.hpp"

#include <optional>

#include "qor_kit/monitor_items.hpp"

namespace qor::ethernet {
namespace {

uint16_t itemBytesAt(std::span<const uint8_t> item) { return static_cast<uint16_t>(item[0] | item[1] << 8); }

}  // namespace

void MonitorRing::deliver(uint32_t, std::span<const uint8_t> block) {
  std::lock_guard lock(mutex_);
  if (block.size() < kMonitorBlockHeadBytes) {
    ++dropped_;
    return;
  }
  bool full = false;
  const auto measure = [](std::span<const uint8_t> rest) -> std::optional<kit::ItemExtent> {
    const size_t bytes = itemBytesAt(rest);
    return kit::ItemExtent{bytes, bytes};
  };
  const kit::WalkEnd end =
      kit::walkItems(block.subspan(kMonitorBlockHeadBytes), kMonitorItemHeadBytes, measure, [&](std::span<const uint8_t> item) {
        full = full || !ring_.push(item);
        if (full) {
          ++dropped_;
        } else {
          ++items_;
        }
        return true;
      });
  if (end == kit::WalkEnd::Broken) ++dropped_;
}

MonitorRing::Taken MonitorRing::read(std::span<uint8_t> out, uint32_t maxItems) {
  std::lock_guard lock(mutex_);
  Taken taken;
  while (items_ > 0 && taken.items < maxItems) {
    uint8_t head[2];
    ring_.peek(0, head);
    const uint16_t bytes = itemBytesAt(head);
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
