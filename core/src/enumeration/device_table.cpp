#include "enumeration/device_table.hpp"

#include <algorithm>
#include <cstring>

namespace qor::client {
namespace {

constexpr size_t kHeader = 12;
constexpr size_t kCountOffset = 8;
constexpr size_t kEntrySize = 32;

uint32_t readU32(const uint8_t* at) {
  uint32_t value = 0;
  memcpy(&value, at, sizeof value);
  return value;
}

} // namespace

std::vector<DeviceTableEntry> parseDeviceTable(std::span<const uint8_t> data) {
  if (data.size() < kHeader) return {};
  const size_t count = std::min<size_t>(readU32(&data[kCountOffset]), (data.size() - kHeader) / kEntrySize);
  std::vector<DeviceTableEntry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* device = &data[kHeader + i * kEntrySize];
    entries.push_back({readU32(device), readU32(device + 4), readU32(device + 8), readU32(device + 12),
                       readU32(device + 20)});
  }
  return entries;
}

} // namespace qor::client
