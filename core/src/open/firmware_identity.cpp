#include "open/firmware_identity.hpp"

#include <algorithm>
#include <cstddef>

#include "qor_api.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/firmware_records.hpp"

namespace qor::client {
using firmware::IdentityEntry;
using firmware::IdentityHead;

FirmwareIdentity parseIdentity(std::span<const uint8_t> answer) {
  // A field that the answer does not reach reads as 0.
  const auto field = [answer](size_t offset) { return readU32LE(answer, offset).value_or(0); };
  FirmwareIdentity identity;
  identity.bootLoaderRunning = (field(offsetof(IdentityHead, bootLoader)) & firmware::kBootLoaderRunning) != 0;
  identity.deviceCode = field(offsetof(IdentityHead, deviceCode));
  const size_t available = answer.size() > sizeof(IdentityHead) ? answer.size() - sizeof(IdentityHead) : 0;
  const size_t count =
      std::min<size_t>(field(offsetof(IdentityHead, interfaceCount)), available / sizeof(IdentityEntry));
  for (size_t i = 0; i < count; ++i) {
    const auto entry = readAt<IdentityEntry>(answer, sizeof(IdentityHead) + i * sizeof(IdentityEntry));
    identity.interfaces.emplace_back(entry->firmwareCode, entry->number);
  }
  return identity;
}

uint32_t queryIdentity(uint32_t port, const void* parameters, uint32_t length, uint32_t capacity,
                       FirmwareIdentity& identity) {
  std::vector<uint8_t> answer(capacity);
  uint32_t size = capacity;
  const uint32_t result =
      Qor_CommandWithResponse(port, firmware::kIdentityCommand, parameters, length, answer.data(), &size);
  if (result != 0) return result;
  identity = parseIdentity(std::span(answer).first(std::min(size, capacity)));
  return 0;
}

} // namespace qor::client
