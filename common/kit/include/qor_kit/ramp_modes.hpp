// The modes of a signal ramp (cyclic CAN messages, LIN frame responses): the application numbers them 0 to 3, the
// firmware 2, 3, 4 and 1.
#pragma once

#include <cstdint>

namespace qor::kit {

// The firmware's number of a mode the caller has checked (0 to 3).
constexpr uint8_t firmwareRampMode(uint8_t mode) {
  constexpr uint8_t kFirmwareModes[] = {2, 3, 4, 1};
  return kFirmwareModes[mode & 3];
}

}  // namespace qor::kit
