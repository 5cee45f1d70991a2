// The CAN monitor's items: the firmware's compact items converted into the API's, and the firmware's large items
// walked out of a block into 80-byte slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "qor_can_monitor.h"
#include "qor_kit/monitor_items.hpp"

namespace qor::can {

inline constexpr size_t kCompactItemBytes = sizeof(Can_Param_Monitor_Buffer32_Item_t);
inline constexpr size_t kItemBytes = sizeof(Qor_Can_Monitor_Item_t);
inline constexpr size_t kLargeSlotBytes = sizeof(Can_Param_Monitor_Buffer64_LargeItem_t);
inline constexpr size_t kLargeHeadBytes = offsetof(Can_Param_Monitor_Buffer64_LargeItem_t, data);
inline constexpr size_t kLargeDataBytes = sizeof(Can_Param_Monitor_Buffer64_LargeItem_t::data);

// The time-stamp units of compact items and list-mode items: 0 and 1; none for any other.
std::optional<uint32_t> nanosecondsPerUnit(uint8_t unit);

// Which flags of a compact item the API item keeps.
enum class CompactFlags {
  ApiBits,    // bits 0, 1, 2, 4 and 7
  Unchanged,  // the firmware's byte as it is
};

// One compact item (20 bytes at compact) as an API item, by its own time-stamp unit (0 ns for an unknown unit).
Qor_Can_Monitor_Item_t apiItem(const uint8_t* compact, CompactFlags flags);

// Converts count compact items at the start of buffer into API items in the same buffer (which holds count x 24
// bytes), from the last to the first so that no item is overwritten before it is read.
void convertInPlace(uint8_t* buffer, size_t count);

// ORs mark into the flags of the last of count API items (in a caller's buffer, of any alignment); nothing when
// there is none.
void markLastItem(void* items, size_t count, uint16_t mark);

// The large items of a block from the firmware, each whole and of at most 64 data bytes; visit(item) returns false
// to stop. An item that is cut or claims more data bytes ends the walk as broken.
template <class Visit>
kit::WalkEnd walkLargeItems(std::span<const uint8_t> block, Visit visit) {
  const auto measure = [](std::span<const uint8_t> rest) -> std::optional<kit::ItemExtent> {
    const size_t dataBytes = rest[offsetof(Can_Param_Monitor_Buffer64_LargeItem_t, dataLength)];
    if (dataBytes > kLargeDataBytes) return std::nullopt;
    return kit::ItemExtent{kLargeHeadBytes + dataBytes, (dataBytes + 19) & ~size_t{3}};
  };
  return kit::walkItems(block, kLargeHeadBytes, measure, visit);
}

// A large item of the firmware in a slot: its bytes, the rest of the slot zero.
void fillSlot(Can_Param_Monitor_Buffer64_LargeItem_t& slot, std::span<const uint8_t> item);

}  // namespace qor::can
