// The controller's identity as its firmware reports it in answer to command 0xFF.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace qor::client {

struct FirmwareIdentity {
  bool bootLoaderRunning = false;
  uint32_t deviceCode = 0;
  std::vector<std::pair<uint8_t, uint8_t>> interfaces; // firmware interface code, interface number
};

// Entries are taken only as far as the answer reaches, whatever its count says.
FirmwareIdentity parseIdentity(std::span<const uint8_t> answer);

// Sends 0xFF with these parameters and parses the answer of at most capacity bytes; 0 or the exchange's code.
uint32_t queryIdentity(uint32_t port, const void* parameters, uint32_t length, uint32_t capacity,
                       FirmwareIdentity& identity);

} // namespace qor::client
