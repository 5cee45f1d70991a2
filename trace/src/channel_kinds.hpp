// What the four kinds of trace channel send to the firmware's monitor and how they read its answers: one row per
// bus, found by the interface type of the port to record.
#pragma once

#include <array>
#include <cstdint>

namespace qor::trace {

struct ChannelKind {
  uint32_t interfaceType;
  uint8_t busType;  // QOR_TRACE_BUS_*
  uint32_t itemCap;  // the trace's default memory limit while the channel is its smallest
  uint8_t command;
  // The configure record as sent; its byte 1 is the monitor instance where instanced is set.
  std::array<uint8_t, 16> configure;
  uint8_t configureLength;
  uint8_t startSub;
  uint8_t stopSub;
  uint8_t pollSub;
  uint8_t pollControlBytes;
  bool instanced;                // byte 1 of every record is the monitor instance (else 0)
  bool stopsWhenNotRunning;      // the stop command goes out even when the channel never started
  bool configureTextFromDevice;  // a refused configure reports the own port's last error text
};

// Null for an interface type no channel records.
const ChannelKind* channelKindFor(uint32_t interfaceType);

}  // namespace qor::trace
