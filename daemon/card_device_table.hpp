// The device table of a card access path, built at start and listed by message 0x17: u32 library version, u32
// driver version, u32 count, then one 32-byte record per card (the record the library's interface list reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "access_path.hpp"

namespace qor::daemon {

struct CardDeviceRecord {
  uint32_t hostInterfaceType; // +0
  uint32_t communicationType; // +4 1 PXI, 2 PCI, 7 PCIe, 8 PXIe
  uint32_t deviceNumber;      // +8 1, 2, ... within the host interface type
  uint32_t deviceIdentifier;  // +12 the serial number
  uint32_t fpgaValue;         // +16
  uint32_t position;          // +20 the entries are sorted by it
  uint8_t card;               // +24 card number or card index of the card library
  uint8_t pathSpecific[7];    // +25
};
static_assert(sizeof(CardDeviceRecord) == 32, "a device record is 32 bytes");
static_assert(offsetof(CardDeviceRecord, deviceNumber) == 8, "device number at 8");
static_assert(offsetof(CardDeviceRecord, deviceIdentifier) == 12, "device identifier at 12");
static_assert(offsetof(CardDeviceRecord, position) == 20, "position at 20");
static_assert(offsetof(CardDeviceRecord, card) == 24, "card at 24");

struct CardDeviceTable {
  static constexpr size_t kMaxRecords = 128;
  static constexpr size_t kHeaderSize = 12;

  uint32_t libraryVersion = 0;
  uint32_t driverVersion = 0;
  std::vector<CardDeviceRecord> records; // at most kMaxRecords

  // The table as message 0x17 lists it; 0x1000009 when out cannot take it whole.
  PathStatus copyTo(Buffer out, uint32_t& written) const;
  // The first record of this host type and device number.
  std::optional<CardDeviceRecord> find(uint32_t hostInterfaceType, uint32_t deviceNumber) const;
};

} // namespace qor::daemon
