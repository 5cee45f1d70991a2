#include "qor_emulator/xcp_slave.hpp"

#include <utility>

namespace qor::emulator {

BasicXcpSlave::BasicXcpSlave(XcpSlaveSettings settings) : settings_(settings) {
  handlers_[kXcpConnect] = [this](std::span<const uint8_t>) { return std::vector<Bytes>{connectAnswer()}; };
  handlers_[kXcpGetStatus] = [this](std::span<const uint8_t>) { return std::vector<Bytes>{statusAnswer()}; };
}

void BasicXcpSlave::on(uint8_t commandCode, CommandHandler handler) {
  const std::lock_guard lock(mutex_);
  handlers_[commandCode] = std::move(handler);
}

void BasicXcpSlave::answerNext(std::vector<Bytes> packets) {
  const std::lock_guard lock(mutex_);
  scripted_.push_back(std::move(packets));
}

std::vector<Bytes> BasicXcpSlave::commands() const {
  const std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<Bytes> BasicXcpSlave::command(std::span<const uint8_t> packet) {
  CommandHandler handler;
  {
    const std::lock_guard lock(mutex_);
    commands_.emplace_back(packet.begin(), packet.end());
    if (!scripted_.empty()) {
      std::vector<Bytes> packets = std::move(scripted_.front());
      scripted_.erase(scripted_.begin());
      return packets;
    }
    if (packet.empty()) return {{kXcpErrorPacket, kXcpErrorSyntax}};
    if (auto found = handlers_.find(packet[0]); found != handlers_.end()) handler = found->second;
  }
  if (!handler) return {{kXcpErrorPacket, kXcpErrorUnknownCommand}};
  return handler(packet);
}

Bytes BasicXcpSlave::connectAnswer() const {
  const auto high = static_cast<uint8_t>(settings_.maxDto >> 8);
  const auto low = static_cast<uint8_t>(settings_.maxDto & 0xFF);
  return {kXcpPositiveAnswer,
          settings_.resource,
          settings_.commModeBasic,
          settings_.maxCto,
          bigEndian() ? high : low,
          bigEndian() ? low : high,
          settings_.protocolVersion,
          settings_.transportVersion};
}

Bytes BasicXcpSlave::statusAnswer() const {
  const auto high = static_cast<uint8_t>(settings_.sessionConfigurationId >> 8);
  const auto low = static_cast<uint8_t>(settings_.sessionConfigurationId & 0xFF);
  return {kXcpPositiveAnswer, settings_.sessionStatus, settings_.protection, 0, bigEndian() ? high : low,
          bigEndian() ? low : high};
}

}  // namespace qor::emulator
