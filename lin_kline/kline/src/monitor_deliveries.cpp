#include "monitor_deliveries.hpp"

#include <algorithm>

#include "qor_shared/byte_reader.hpp"

namespace qor::kline {
namespace {

constexpr size_t kCountOffset = 4;
constexpr size_t kRegularItemsOffset = 8;
constexpr size_t kPayloadLengthOffset = 4;
constexpr size_t kCarriedOffset = 8;
constexpr size_t kBitsOffset = 12;
constexpr size_t kPayloadOffset = 16;
constexpr uint8_t kStartsWithItem = 1;
constexpr uint8_t kMayEndInsideItem = 2;
constexpr size_t kItemLengthOffset = 0;
constexpr size_t kDataLengthOffset = 10;

uint32_t u32At(std::span<const uint8_t> bytes, size_t offset) { return readAt<uint32_t>(bytes, offset).value_or(0); }

// The item's length when its head is well formed.
std::optional<size_t> itemLength(std::span<const uint8_t> head) {
  const size_t length = u32At(head, kItemLengthOffset);
  const size_t dataLength = readAt<uint16_t>(head, kDataLengthOffset).value_or(0);
  if (length < kAdvancedItemHead || length > kLongestAdvancedItem || dataLength > length - kAdvancedItemHead) {
    return std::nullopt;
  }
  return length;
}

}  // namespace

void DeliveryParser::take(std::span<const uint8_t> delivery, MonitorRing& ring) {
  const bool advancedDelivery = !delivery.empty() && delivery[0] == kAdvancedDelivery;
  if (advancedDelivery != advanced_) {
    ring.markLoss();  // items of the other kind: none of them fits this ring
  } else if (advanced_) {
    takeAdvanced(delivery, ring);
  } else {
    takeRegular(delivery, ring);
  }
}

void DeliveryParser::takeRegular(std::span<const uint8_t> delivery, MonitorRing& ring) {
  const size_t room =
      delivery.size() > kRegularItemsOffset ? (delivery.size() - kRegularItemsOffset) / kRegularItemSize : 0;
  const size_t announced = u32At(delivery, kCountOffset);
  const size_t count = std::min(announced, room);
  for (size_t i = 0; i < count; ++i) {
    ring.append(delivery.subspan(kRegularItemsOffset + i * kRegularItemSize, kRegularItemSize));
  }
  if (delivery.size() < kRegularItemsOffset || count < announced) ring.markLoss();
}

void DeliveryParser::takeAdvanced(std::span<const uint8_t> delivery, MonitorRing& ring) {
  if (delivery.size() < kPayloadOffset) {
    ring.markLoss();
    return;
  }
  const size_t announced = u32At(delivery, kPayloadLengthOffset);
  const std::span<const uint8_t> payload =
      delivery.subspan(kPayloadOffset, std::min(announced, delivery.size() - kPayloadOffset));
  const uint8_t bits = delivery[kBitsOffset];
  bool lost = payload.size() < announced;
  if ((bits & kStartsWithItem) != 0) {
    lost |= !carry_.empty();  // the item carried never ended
    carry_.clear();
  } else if (carry_.empty() || u32At(delivery, kCarriedOffset) != carry_.size()) {
    // A continuation of an item whose start was not seen: its end is unknown, and so are the items behind it.
    carry_.clear();
    ring.markLoss();
    return;
  }
  if (!gather(payload, ring)) {
    carry_.clear();
    lost = true;
  } else if (!carry_.empty() && (bits & kMayEndInsideItem) == 0) {
    carry_.clear();
    lost = true;
  }
  if (lost) ring.markLoss();
}

bool DeliveryParser::gather(std::span<const uint8_t> payload, MonitorRing& ring) {
  while (!payload.empty()) {
    const bool headKnown = carry_.size() >= kAdvancedItemHead;
    const std::optional<size_t> length = headKnown ? itemLength(carry_) : std::nullopt;
    const size_t wanted = headKnown ? *length - carry_.size() : kAdvancedItemHead - carry_.size();
    const size_t taken = std::min(wanted, payload.size());
    carry_.insert(carry_.end(), payload.begin(), payload.begin() + static_cast<ptrdiff_t>(taken));
    payload = payload.subspan(taken);
    if (carry_.size() == kAdvancedItemHead && !itemLength(carry_)) return false;
    if (carry_.size() >= kAdvancedItemHead && carry_.size() == itemLength(carry_)) {
      ring.append(carry_);
      carry_.clear();
    }
  }
  return true;
}

}  // namespace qor::kline
