#include "card_device_table.hpp"

#include <cstring>

#include "qor_error_codes.h"

namespace qor::daemon {

PathStatus CardDeviceTable::copyTo(Buffer out, uint32_t& written) const {
  written = 0;
  const uint32_t count = static_cast<uint32_t>(records.size());
  const size_t size = kHeaderSize + sizeof(CardDeviceRecord) * count;
  if (out.size() < size) return PathStatus{QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, {}};
  const uint32_t header[] = {libraryVersion, driverVersion, count};
  std::memcpy(out.data(), header, sizeof header);
  if (count != 0) std::memcpy(out.data() + kHeaderSize, records.data(), sizeof(CardDeviceRecord) * count);
  written = static_cast<uint32_t>(size);
  return {};
}

std::optional<CardDeviceRecord> CardDeviceTable::find(uint32_t hostInterfaceType, uint32_t deviceNumber) const {
  for (const CardDeviceRecord& record : records) {
    if (record.hostInterfaceType == hostInterfaceType && record.deviceNumber == deviceNumber) return record;
  }
  return std::nullopt;
}

} // namespace qor::daemon
