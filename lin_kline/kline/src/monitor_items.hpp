// The application's monitor items, made from the items the firmware sent (monitor_deliveries.hpp): time stamps from
// 400-ns ticks to ns, the firmware's flag bits 1, 2 and 4 and the overflow mark as flag bits 0 to 3.
#pragma once

#include <cstdint>
#include <span>

#include "qor_kline_monitor.h"

namespace qor::kline {

inline constexpr uint64_t kNanosecondsPerTick = 400;

uint16_t applicationFlags(uint8_t firmwareFlags);
Qor_KLine_Monitor_RegularItem_t regularItem(std::span<const uint8_t> item);
// The bytes of the application's advanced item: its head, the data and zeros up to a multiple of four.
size_t advancedItemSize(std::span<const uint8_t> item);
// Writes the application's item to out, which holds advancedItemSize(item) bytes.
void writeAdvancedItem(std::span<const uint8_t> item, uint8_t* out);

}  // namespace qor::kline
