// The firmware's monitor deliveries, taken apart into the items of a monitor ring. Nothing in a delivery is trusted:
// counts and lengths are cut to the bytes that arrived, a malformed item ends the delivery, and every byte that
// cannot become an item marks the ring's overflow.
//
// Regular delivery: byte 0 (anything but 6), u32 item count k at 4, k items of 8 bytes from 8:
//   u32 time stamp (400 ns), u8, u8 flags, u8 data byte, u8.
// Advanced delivery: byte 0 = 6, u32 payload length at 4, u32 bytes of a split item that earlier deliveries carried
// at 8, byte 12 (bit 0: the payload begins with an item; bit 1: it may end inside one), the payload from 16: items
//   u32 item length n (12 + L and more), u32 time stamp, u8, u8 flags, u16 data length L, L data bytes.
// An item cut at a delivery's end is carried and completed from the following deliveries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "monitor_ring.hpp"

namespace qor::kline {

inline constexpr uint8_t kAdvancedDelivery = 6;
inline constexpr size_t kRegularItemSize = 8;
inline constexpr size_t kRegularFlagOffset = 5;
inline constexpr size_t kAdvancedItemHead = 12;
inline constexpr size_t kAdvancedFlagOffset = 9;
// The longest advanced item: a head and 65535 data bytes, padded to four.
inline constexpr size_t kLongestAdvancedItem = 65548;

class DeliveryParser {
 public:
  explicit DeliveryParser(bool advanced) : advanced_(advanced) {}
  void take(std::span<const uint8_t> delivery, MonitorRing& ring);

 private:
  void takeRegular(std::span<const uint8_t> delivery, MonitorRing& ring);
  void takeAdvanced(std::span<const uint8_t> delivery, MonitorRing& ring);
  // Adds payload bytes to the item being gathered, appending each item once complete. False for a malformed item.
  bool gather(std::span<const uint8_t> payload, MonitorRing& ring);

  const bool advanced_;
  std::vector<uint8_t> carry_;  // the bytes of the item being gathered
};

}  // namespace qor::kline
