#include "monitor_ring.hpp"

#include <cstring>

namespace qor::kline {
namespace {

constexpr size_t kSizeField = 0;
constexpr size_t kNextField = 8;

}  // namespace

MonitorRing::MonitorRing(size_t size, size_t flagOffset) : memory_(size), flagOffset_(flagOffset) {}

// Node heads lie wherever the items before them end: read and written bytewise.
uint32_t MonitorRing::nodeSize(size_t node) const {
  uint32_t size = 0;
  std::memcpy(&size, memory_.data() + node + kSizeField, sizeof size);
  return size;
}

std::optional<size_t> MonitorRing::next(size_t node) const {
  uint64_t field = 0;
  std::memcpy(&field, memory_.data() + node + kNextField, sizeof field);
  if (field == 0) return std::nullopt;
  return static_cast<size_t>(field - 1);
}

void MonitorRing::link(size_t node, size_t nextNode) {
  const uint64_t field = nextNode + 1;
  std::memcpy(memory_.data() + node + kNextField, &field, sizeof field);
}

void MonitorRing::mark(size_t node) { memory_[node + kRingNodeHead + flagOffset_] |= kOverflowMark; }

void MonitorRing::markLoss() {
  if (holdsItems_) {
    mark(newest_);
  } else {
    lossPending_ = true;
  }
}

void MonitorRing::append(std::span<const uint8_t> item) {
  const size_t size = kRingNodeHead + item.size();
  if (item.size() <= flagOffset_ || size > memory_.size() || size > UINT32_MAX) {
    markLoss();
    return;
  }
  size_t position = nextFree_;
  const bool wrapped = position + size > memory_.size();
  if (wrapped) position = 0;
  bool markNew = lossPending_;
  lossPending_ = false;
  bool linkFromNewest = holdsItems_;
  if (holdsItems_) {
    std::optional<size_t> kept = oldest_;
    bool gaveUp = false;
    // In the new node's space, or, at a wrap-around, behind the next free position: the oldest nodes that lie
    // between it and the ring's end would otherwise stay chained while newer ones at the start are overwritten.
    const auto givenUp = [&](size_t node) {
      return (node >= position && node < position + size) || (wrapped && node >= nextFree_);
    };
    while (kept && givenUp(*kept)) {
      kept = next(*kept);
      gaveUp = true;
    }
    if (kept) {
      oldest_ = *kept;
      if (gaveUp || wrapped) mark(newest_);
    } else {
      markNew = true;  // every older item gave way
      linkFromNewest = false;
    }
  }
  if (!linkFromNewest) oldest_ = position;
  const uint32_t nodeBytes = static_cast<uint32_t>(size);
  std::memset(memory_.data() + position, 0, kRingNodeHead);
  std::memcpy(memory_.data() + position + kSizeField, &nodeBytes, sizeof nodeBytes);
  std::memcpy(memory_.data() + position + kRingNodeHead, item.data(), item.size());
  if (markNew) mark(position);
  if (linkFromNewest) link(newest_, position);
  newest_ = position;
  nextFree_ = position + size;
  holdsItems_ = true;
}

std::span<const uint8_t> MonitorRing::oldest() const {
  if (!holdsItems_) return {};
  return std::span(memory_).subspan(oldest_ + kRingNodeHead, nodeSize(oldest_) - kRingNodeHead);
}

void MonitorRing::dropOldest() {
  if (!holdsItems_) return;
  if (const std::optional<size_t> following = next(oldest_)) {
    oldest_ = *following;
  } else {
    holdsItems_ = false;
    oldest_ = nextFree_;
  }
}

}  // namespace qor::kline
