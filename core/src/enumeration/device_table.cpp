#include "enumeration/device_table.hpp"

#include <algorithm>

#include "qor_shared/byte_reader.hpp"

namespace qor::client {
namespace {

constexpr size_t kHeader = 12;
constexpr size_t kCountOffset = 8;
constexpr size_t kEntrySize = 32;

// The fields of an entry that the library reads, by offset.
constexpr size_t kHostTypeOffset = 0;
constexpr size_t kCommunicationOffset = 4;
constexpr size_t kDeviceNumberOffset = 8;
constexpr size_t kSerialOffset = 12;
constexpr size_t kPositionOffset = 20;

} // namespace

std::vector<DeviceTableEntry> parseDeviceTable(std::span<const uint8_t> data) {
  if (data.size() < kHeader) return {};
  const size_t count = std::min<size_t>(*readU32LE(data, kCountOffset), (data.size() - kHeader) / kEntrySize);
  std::vector<DeviceTableEntry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const auto device = data.subspan(kHeader + i * kEntrySize, kEntrySize);
    const auto field = [device](size_t offset) { return *readU32LE(device, offset); };
    entries.push_back({field(kHostTypeOffset), field(kCommunicationOffset), field(kDeviceNumberOffset),
                       field(kSerialOffset), field(kPositionOffset)});
  }
  return entries;
}

} // namespace qor::client
