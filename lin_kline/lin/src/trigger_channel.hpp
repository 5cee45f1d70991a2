// The trigger channel as the application counts it (from 1) and as the firmware does (from 0), and the refusals that
// the output's and the input's properties share.
#pragma once

#include <cstdint>

#include "lin_library.hpp"

namespace qor::lin {

constexpr uint32_t firmwareChannel(uint32_t channel) { return channel - 1; }
constexpr uint32_t applicationChannel(uint32_t channel) { return channel + 1; }

inline uint32_t checkChannel(const kit::Call& call, uint32_t channel) {
  return channel == 0 ? call.fail(kit::GeneralError::InvalidParameter, "channel index must not be zero") : 0;
}

inline uint32_t unknownProperty(const kit::Call& call) {
  return call.fail(kit::GeneralError::InvalidParameter, "property id is unknown");
}

}  // namespace qor::lin
