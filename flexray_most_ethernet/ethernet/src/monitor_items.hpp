// The Ethernet monitor's items as the firmware sends them: a block head {u32 sub-function, u16 item count, u16},
// then items back to back, each {u16 item bytes, u16, u64 time stamp ns, the frame}, whose length may lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "qor_kit/monitor_items.hpp"

namespace qor::ethernet {

inline constexpr size_t kMonitorBlockHeadBytes = 8;
inline constexpr size_t kMonitorItemHeadBytes = 12;

inline uint16_t monitorItemBytes(std::span<const uint8_t> item) { return static_cast<uint16_t>(item[0] | item[1] << 8); }

// The whole items of a block's data (behind its head); visit(item) returns false to stop. An item shorter than its
// head, longer than the rest of the data or of length 0 ends the walk as broken.
template <class Visit>
kit::WalkEnd walkMonitorItems(std::span<const uint8_t> data, Visit visit) {
  const auto measure = [](std::span<const uint8_t> rest) -> std::optional<kit::ItemExtent> {
    const size_t bytes = monitorItemBytes(rest);
    return kit::ItemExtent{bytes, bytes};
  };
  return kit::walkItems(data, kMonitorItemHeadBytes, measure, visit);
}

}  // namespace qor::ethernet
