#include "fpga_relays.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "qor_error_codes.h"
#include "qor_shared/byte_reader.hpp"

namespace qor::daemon {
namespace {

constexpr uint8_t kFirstRelayRegister = 3;
constexpr size_t kRelayRegisters = 8;
constexpr uint8_t kApplyRegister = 2;
constexpr uint32_t kApply = 1;
constexpr uint32_t kRelaysPerRegister = 16;
constexpr uint32_t kAllRelays = 1;
constexpr size_t kMaxDirectBytes = 16;

using RelayRegisters = std::array<uint32_t, kRelayRegisters>;

// The registers the device's relays take; a last register only partly used counts.
size_t registersInUse(const Device& device) {
  const size_t relays = device.properties.relayCount;
  return std::min(kRelayRegisters, (relays + kRelaysPerRegister - 1) / kRelaysPerRegister);
}

uint32_t bitOf(uint8_t relay) { return 1u << ((relay - 1u) % kRelaysPerRegister); }
size_t registerOf(uint8_t relay) { return (relay - 1u) / kRelaysPerRegister; }

PathStatus tooShort(size_t length) {
  return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "relay request of %zu bytes is incomplete", length);
}

PathStatus checkRelay(const Device& device, uint8_t relay) {
  if (relay == 0) {
    return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "invalid relay number - relay numbers are starting with '1'");
  }
  if (relay > device.properties.relayCount || registerOf(relay) >= registersInUse(device)) {
    return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "there are only %u relays on the selected hardware",
                     static_cast<unsigned>(device.properties.relayCount));
  }
  return {};
}

PathStatus readRegisters(Device& device, RelayRegisters& values) {
  for (size_t i = 0; i < registersInUse(device); ++i) {
    if (PathStatus status = device.fpgaRegisterRead(static_cast<uint8_t>(kFirstRelayRegister + i), values[i]);
        !status.ok()) {
      return status;
    }
  }
  return {};
}

PathStatus writeRegisters(Device& device, const RelayRegisters& values) {
  for (size_t i = 0; i < registersInUse(device); ++i) {
    if (PathStatus status = device.fpgaRegisterWrite(static_cast<uint8_t>(kFirstRelayRegister + i), values[i]);
        !status.ok()) {
      return status;
    }
  }
  return device.fpgaRegisterWrite(kApplyRegister, kApply);
}

// The relay numbers behind a u16 count at countOffset; none when the bytes end before them.
std::optional<Bytes> relayList(Bytes parameters, size_t countOffset) {
  const auto count = readU16LE(parameters, countOffset);
  const size_t first = countOffset + sizeof(uint16_t);
  if (!count || parameters.size() - first < *count) return std::nullopt;
  return parameters.subspan(first, *count);
}

PathStatus setOrReset(Device& device, bool set, Bytes parameters) {
  const auto flags = readU32LE(parameters, 0);
  const auto relays = relayList(parameters, sizeof(uint32_t));
  if (!flags || !relays) return tooShort(parameters.size());
  RelayRegisters values{};
  if ((*flags & kAllRelays) != 0) {
    values.fill(set ? 0xFFFFFFFFu : 0);
    return writeRegisters(device, values);
  }
  if (PathStatus status = readRegisters(device, values); !status.ok()) return status;
  for (uint8_t relay : *relays) {
    if (PathStatus status = checkRelay(device, relay); !status.ok()) return status;
    uint32_t& value = values[registerOf(relay)];
    value = set ? value | bitOf(relay) : value & ~bitOf(relay);
  }
  return writeRegisters(device, values);
}

PathStatus setDirect(Device& device, Bytes parameters) {
  const auto bytes = relayList(parameters, 0);
  if (!bytes) return tooShort(parameters.size());
  if (bytes->size() > kMaxDirectBytes) {
    return pathError(QOR_ERR_SERVER_INVALID_PARAMETER, "only %u relay bytes are supported",
                     static_cast<unsigned>(kMaxDirectBytes));
  }
  std::array<uint8_t, kMaxDirectBytes> area{};
  std::copy(bytes->begin(), bytes->end(), area.begin());
  RelayRegisters values{};
  for (size_t i = 0; i < kRelayRegisters; ++i) values[i] = area[2 * i] | (uint32_t{area[2 * i + 1]} << 8);
  return writeRegisters(device, values);
}

PathStatus state(Device& device, Bytes parameters, Buffer answer, uint32_t& answerLength) {
  const auto relays = relayList(parameters, 0);
  if (!relays) return tooShort(parameters.size());
  if (answer.size() < sizeof(uint16_t) + relays->size()) {
    return pathError(QOR_ERR_SERVER_RESPONSE_BUFFER_TOO_SMALL, "the state of %zu relays does not fit", relays->size());
  }
  RelayRegisters values{};
  if (PathStatus status = readRegisters(device, values); !status.ok()) return status;
  for (uint8_t relay : *relays) {
    if (PathStatus status = checkRelay(device, relay); !status.ok()) return status;
  }
  const uint16_t count = static_cast<uint16_t>(relays->size());
  memcpy(answer.data(), &count, sizeof count);
  for (size_t i = 0; i < relays->size(); ++i) {
    const uint8_t relay = (*relays)[i];
    answer[sizeof count + i] = (values[registerOf(relay)] & bitOf(relay)) != 0 ? 1 : 0;
  }
  answerLength = static_cast<uint32_t>(sizeof count + relays->size());
  return {};
}

} // namespace

PathStatus switchRelays(Device& device, RelayRequest request, Bytes parameters, Buffer answer, uint32_t& answerLength) {
  answerLength = 0;
  if (device.properties.relayCount == 0) return functionNotAvailable();
  switch (request) {
    case RelayRequest::Set: return setOrReset(device, true, parameters);
    case RelayRequest::Reset: return setOrReset(device, false, parameters);
    case RelayRequest::SetDirect: return setDirect(device, parameters);
    case RelayRequest::State: return state(device, parameters, answer, answerLength);
  }
  return functionNotAvailable();
}

} // namespace qor::daemon
