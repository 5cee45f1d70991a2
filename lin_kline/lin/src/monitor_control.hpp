// The firmware's side of the LIN monitor: the parameter records of command 0x50 and the list switch of command 0x54,
// shared by the buffer, asynchronous and list modes.
#pragma once

#include <cstdint>

#include "lin_library.hpp"
#include "monitor_items.hpp"

namespace qor::lin {

enum ListSwitch : uint32_t {
  kNormalListOff = 0,  // also ends the asynchronous buffer mode
  kNormalListOn = 2,
  kSmallListOff = 0x01000000,
  kSmallListOn = 0x01000002,
};

// Buffer modes 0 to 7: "unknown mode".
uint32_t checkBufferMode(const kit::Call& call, uint8_t bufferMode);
// The configure record, then the start record; the first failure closes the port's monitor and is returned.
uint32_t configureAndStart(const kit::Call& call, uint8_t bufferMode, const ItemFormat& format);
uint32_t switchList(const kit::Call& call, ListSwitch value);

}  // namespace qor::lin
