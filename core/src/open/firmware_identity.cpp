#include "open/firmware_identity.hpp"

#include <algorithm>
#include <cstring>

#include "qor_api.h"

namespace qor::client {
namespace {

constexpr uint8_t kIdentityCommand = 0xFF;
constexpr size_t kBootLoaderOffset = 4;
constexpr size_t kDeviceCodeOffset = 28;
constexpr size_t kCountOffset = 36;
constexpr size_t kEntriesOffset = 40;

uint32_t readU32(std::span<const uint8_t> data, size_t offset) {
  uint32_t value = 0;
  if (offset + sizeof value <= data.size()) memcpy(&value, data.data() + offset, sizeof value);
  return value;
}

} // namespace

FirmwareIdentity parseIdentity(std::span<const uint8_t> answer) {
  FirmwareIdentity identity;
  identity.bootLoaderRunning = readU32(answer, kBootLoaderOffset) & 1u;
  identity.deviceCode = readU32(answer, kDeviceCodeOffset);
  const size_t available = answer.size() > kEntriesOffset ? (answer.size() - kEntriesOffset) / 2 : 0;
  const size_t count = std::min<size_t>(readU32(answer, kCountOffset), available);
  for (size_t i = 0; i < count; ++i) {
    identity.interfaces.emplace_back(answer[kEntriesOffset + 2 * i], answer[kEntriesOffset + 2 * i + 1]);
  }
  return identity;
}

uint32_t queryIdentity(uint32_t port, const void* parameters, uint32_t length, uint32_t capacity,
                       FirmwareIdentity& identity) {
  std::vector<uint8_t> answer(capacity);
  uint32_t size = capacity;
  const uint32_t result = Qor_CommandWithResponse(port, kIdentityCommand, parameters, length, answer.data(), &size);
  if (result != 0) return result;
  identity = parseIdentity(std::span(answer).first(std::min(size, capacity)));
  return 0;
}

uint32_t interfaceTypeWithoutFirmware(uint32_t hostInterfaceType) {
  switch (hostInterfaceType) {
    case 19: case 42: case 43: case 53: case 54: case 56: case 57: return QOR_INTERFACE_LVDS;
    case 36: case 37: case 64: case 65: case 66: case 67: case 68: case 69: case 70: case 71: return QOR_INTERFACE_IO;
    case 33: case 73: return QOR_INTERFACE_RESISTORS;
    default: return 0;
  }
}

} // namespace qor::client
