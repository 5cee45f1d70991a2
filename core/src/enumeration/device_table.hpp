// The daemon's device table, the driver information of the USB and card access paths: u32, u32, u32 number of
// entries, then 32 bytes per device.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qor::client {

struct DeviceTableEntry {
  uint32_t hostInterfaceType; // 87 when the path does not know it
  uint32_t communicationType;
  uint32_t deviceNumber;
  uint32_t serialNumber;
  uint32_t position; // the card paths sort by it
};

// Room that the table of every USB device takes.
inline constexpr uint32_t kDeviceTableRoom = 4108;

// Entries only as far as the daemon's data reach, whatever its count says.
std::vector<DeviceTableEntry> parseDeviceTable(std::span<const uint8_t> data);

} // namespace qor::client
