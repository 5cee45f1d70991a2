#include "monitor_items.hpp"

#include <algorithm>
#include <cstring>

namespace qor::can {
namespace {

constexpr uint16_t kApiFlagBits = 0x97;  // bits 0, 1, 2, 4 and 7

}  // namespace

std::optional<uint32_t> nanosecondsPerUnit(uint8_t unit) {
  switch (unit) {
    case 0:
      return 10000;
    case 1:
      return 400;
    default:
      return std::nullopt;
  }
}

Qor_Can_Monitor_Item_t apiItem(const uint8_t* compact, CompactFlags flags) {
  Can_Param_Monitor_Buffer32_Item_t source;
  std::memcpy(&source, compact, sizeof source);
  Qor_Can_Monitor_Item_t item{};
  const std::optional<uint32_t> unitNs = nanosecondsPerUnit(source.timeStampUnit);
  item.timeStampNs = unitNs ? kit::scaledTimeNs(source.timeStamp, *unitNs) : 0;
  item.identifier = source.identifier;
  item.flags = flags == CompactFlags::ApiBits ? source.flags & kApiFlagBits : source.flags;
  item.dlc = source.dlc;
  item.dlcCopy = source.dlc;
  std::memcpy(item.data, source.data, sizeof item.data);
  return item;
}

void convertInPlace(uint8_t* buffer, size_t count) {
  for (size_t index = count; index-- > 0;) {
    const Qor_Can_Monitor_Item_t item = apiItem(buffer + index * kCompactItemBytes, CompactFlags::ApiBits);
    std::memcpy(buffer + index * kItemBytes, &item, sizeof item);
  }
}

void markLastItem(void* items, size_t count, uint16_t mark) {
  if (count == 0) return;
  uint8_t* flags = static_cast<uint8_t*>(items) + (count - 1) * kItemBytes + offsetof(Qor_Can_Monitor_Item_t, flags);
  uint16_t value;
  std::memcpy(&value, flags, sizeof value);
  value |= mark;
  std::memcpy(flags, &value, sizeof value);
}

void fillSlot(Can_Param_Monitor_Buffer64_LargeItem_t& slot, std::span<const uint8_t> item) {
  std::memset(&slot, 0, sizeof slot);
  std::memcpy(&slot, item.data(), std::min(item.size(), sizeof slot));
}

}  // namespace qor::can
