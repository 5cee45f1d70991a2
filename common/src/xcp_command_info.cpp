#include "xcp_command_info.hpp"

#include <array>
#include <optional>

#include "qor_kit/port_table.hpp"
#include "xcp_channel.hpp"

namespace qor::common::xcp {
namespace {

struct PortCommandInfo {
  std::array<std::optional<CommandInfo>, kChannels> channels;
};

kit::PortTable<PortCommandInfo>& table() {
  static kit::PortTable<PortCommandInfo> records;
  return records;
}

}  // namespace

void CommandInfo::append16(std::vector<uint8_t>& packet, uint16_t value) const {
  const auto low = static_cast<uint8_t>(value);
  const auto high = static_cast<uint8_t>(value >> 8);
  packet.push_back(bigEndian ? high : low);
  packet.push_back(bigEndian ? low : high);
}

void CommandInfo::append32(std::vector<uint8_t>& packet, uint32_t value) const {
  for (int index = 0; index < 4; ++index) {
    const int shift = bigEndian ? 24 - 8 * index : 8 * index;
    packet.push_back(static_cast<uint8_t>(value >> shift));
  }
}

uint16_t CommandInfo::read16(std::span<const uint8_t> packet, size_t offset) const {
  const uint16_t first = packet[offset];
  const uint16_t second = packet[offset + 1];
  return static_cast<uint16_t>(bigEndian ? first << 8 | second : second << 8 | first);
}

uint32_t CommandInfo::read32(std::span<const uint8_t> packet, size_t offset) const {
  uint32_t value = 0;
  for (int index = 0; index < 4; ++index) {
    const uint32_t byte = packet[offset + static_cast<size_t>(index)];
    value |= byte << (bigEndian ? 24 - 8 * index : 8 * index);
  }
  return value;
}

uint32_t loadCommandInfo(const kit::Call& call, uint8_t channel, CommandInfo& info) {
  if (call.port() >= QOR_MAX_PORTS) return call.fail(kit::GeneralError::InvalidParameter, "invalid 'portHandle'");
  if (uint32_t code = call.checkPort()) return code;
  if (channel >= kChannels) return call.fail(kit::GeneralError::InvalidParameter, "invalid 'channel'");
  return table().withState(call.port(), [&](PortCommandInfo& port) {
    std::optional<CommandInfo>& record = port.channels[channel];
    if (!record) record.emplace();
    info = *record;
  });
}

void storeCommandInfo(uint32_t port, uint8_t channel, const CommandInfo& info) {
  if (channel >= kChannels) return;
  table().ifState(port, [&](PortCommandInfo& state) { state.channels[channel] = info; });
}

}  // namespace qor::common::xcp
