// The firmware's side of the monitor: command 0x21, whose records begin {u8 sub-function, u8 instance, u16 0} with
// the port's current monitor instance.
#pragma once

#include <cstdint>
#include <vector>

#include "flexray_library.hpp"

namespace qor::flexray {

inline constexpr uint8_t kMonitorCommand = 0x21;
inline constexpr uint8_t kMonitorControlBytes = 1;

enum class MonitorSubFunction : uint8_t {
  Configure = 0,
  Start = 1,
  Stop = 2,
  Time = 4,
  UserEvent = 5,
  Filter = 6,
  PropertySet = 7,
  PropertyGet = 8,
};

// The port's current instance, which the firmware's records address.
uint8_t monitorInstance(const kit::Call& call);
// The record's head for the port's current instance; recordBytes in all.
kit::RecordWriter monitorRecord(const kit::Call& call, MonitorSubFunction subFunction, size_t recordBytes);
uint32_t exchangeMonitor(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer);

}  // namespace qor::flexray
