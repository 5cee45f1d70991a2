#include "monitor_items.hpp"

#include <algorithm>
#include <cstring>

#include "monitor_deliveries.hpp"
#include "qor_shared/byte_reader.hpp"

namespace qor::kline {
namespace {

constexpr size_t kTimeStampOffset = 0;
constexpr size_t kDataOffset = 6;
constexpr size_t kAdvancedTimeStampOffset = 4;
constexpr size_t kAdvancedDataLengthOffset = 10;

uint64_t nanoseconds(std::span<const uint8_t> item, size_t offset) {
  return uint64_t{readAt<uint32_t>(item, offset).value_or(0)} * kNanosecondsPerTick;
}

// Never more than the item carries, whatever its head says.
uint16_t dataLength(std::span<const uint8_t> item) {
  const size_t length = readAt<uint16_t>(item, kAdvancedDataLengthOffset).value_or(0);
  const size_t carried = item.size() > kAdvancedItemHead ? item.size() - kAdvancedItemHead : 0;
  return static_cast<uint16_t>(std::min(length, carried));
}

}  // namespace

uint16_t applicationFlags(uint8_t firmwareFlags) {
  return static_cast<uint16_t>((firmwareFlags >> 1 & 1) | (firmwareFlags >> 2 & 1) << 1 |
                               (firmwareFlags >> 4 & 1) << 2 | (firmwareFlags >> 7 & 1) << 3);
}

Qor_KLine_Monitor_RegularItem_t regularItem(std::span<const uint8_t> item) {
  Qor_KLine_Monitor_RegularItem_t converted{};
  converted.timeStamp = nanoseconds(item, kTimeStampOffset);
  converted.flags = applicationFlags(item.size() > kRegularFlagOffset ? item[kRegularFlagOffset] : 0);
  converted.data = item.size() > kDataOffset ? item[kDataOffset] : 0;
  return converted;
}

size_t advancedItemSize(std::span<const uint8_t> item) {
  return (sizeof(Qor_KLine_Monitor_AdvancedItem_t) + dataLength(item) + 3) & ~size_t{3};
}

void writeAdvancedItem(std::span<const uint8_t> item, uint8_t* out) {
  const size_t size = advancedItemSize(item);
  Qor_KLine_Monitor_AdvancedItem_t head{};
  head.itemSize = static_cast<uint32_t>(size);
  head.flags = applicationFlags(item.size() > kAdvancedFlagOffset ? item[kAdvancedFlagOffset] : 0);
  head.dataLength = dataLength(item);
  head.timeStamp = nanoseconds(item, kAdvancedTimeStampOffset);
  std::memset(out, 0, size);
  std::memcpy(out, &head, sizeof head);
  std::memcpy(out + sizeof head, item.data() + kAdvancedItemHead, head.dataLength);
}

}  // namespace qor::kline
