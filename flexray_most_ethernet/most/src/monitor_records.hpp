// The firmware's MOST monitor settings (command 0x54): each request begins with its selector, and the answer repeats
// the first four bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"

namespace qor::most {

enum MonitorSelector : uint8_t {
  kEnabledIds = 1,
  kReadEnabledIds = 2,
  kStreamingData = 5,
  kReadStreamingData = 6,
  kInputSelection = 8,
  kReadInputSelection = 9,
  kDataHoldTime = 10,
  kReadDataHoldTime = 11,
  kMonitorSwitch = 12,
};

// Sends a setting; its answer carries nothing.
uint32_t sendMonitorSetting(const kit::Call& call, const kit::RecordWriter& record);
// Reads a setting: the answer to {selector, 0, u16 0}.
uint32_t readMonitorSetting(const kit::Call& call, MonitorSelector selector, std::vector<uint8_t>& answer);

}  // namespace qor::most
