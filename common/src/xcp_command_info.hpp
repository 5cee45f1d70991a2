// What the master knows of the slave on one (port, channel): set by CONNECT and GET_COMM_MODE_INFO, read by every
// command to shape its packets. Kept per port and dropped when the port closes, so a port opened again under the same
// handle starts from the defaults.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "qor_kit/call.hpp"

namespace qor::common::xcp {

struct CommandInfo {
  uint32_t firmwareTimeoutUs = 100000;  // T1 (100 ms) for the firmware's wait on each answer
  bool bigEndian = false;
  uint32_t resources = 0;        // as Qor_Common_Xcp_ConnectInfo_t::resources
  uint32_t commModeFlags = 0;    // as Qor_Common_Xcp_CommModeInfo_t::flags
  uint8_t granularity = 1;       // bytes per element: 1, 2 or 4
  uint8_t maxCto = 8;
  uint8_t maxBs = 255;
  uint8_t minSt = 0;             // 100 us

  // Multi-byte fields in the slave's byte order.
  void append16(std::vector<uint8_t>& packet, uint16_t value) const;
  void append32(std::vector<uint8_t>& packet, uint32_t value) const;
  // The caller has checked that the bytes are there.
  uint16_t read16(std::span<const uint8_t> packet, size_t offset) const;
  uint32_t read32(std::span<const uint8_t> packet, size_t offset) const;
};

// The record of (port, channel), made with the defaults when missing. A handle of 255 or more, a port that is not
// open and channel 255 are refused.
uint32_t loadCommandInfo(const kit::Call& call, uint8_t channel, CommandInfo& info);
// Kept for the next command; nothing when the port closed meanwhile.
void storeCommandInfo(uint32_t port, uint8_t channel, const CommandInfo& info);

}  // namespace qor::common::xcp
