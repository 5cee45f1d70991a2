// What the direct transport functions share: the firmware command, its selectors and the head of every record.
#pragma once

#include <cstdint>

#include "most_library.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::most::tp_direct {

inline constexpr uint8_t kCommand = 0x82;
inline constexpr uint8_t kControlBytes = 2;  // selector, channel

enum Selector : uint8_t {
  kReset = 0,
  kInit = 1,
  kStart = 2,
  kSegment = 3,
  kStop = 4,
  kState = 5,
  kResponse = 6,
  kResponseNotifications = 7,
};

// {selector, channel, u16 0}, with room for capacity bytes.
inline kit::RecordWriter record(Selector selector, uint8_t channel, uint32_t capacity = 4) {
  kit::RecordWriter written(capacity);
  written.u8(selector).u8(channel).u16(0);
  return written;
}

}  // namespace qor::most::tp_direct
