#include "xcp_command_session.hpp"

#include <algorithm>
#include <memory>

#include "qor_common_xcp.h"

namespace qor::common::xcp {
namespace {

constexpr uint8_t kCommandKind = 2;  // a command with an answer
constexpr uint32_t kMaxElements = 0xFFFF;

}  // namespace

uint32_t CommandSession::command(std::span<const uint8_t> packet, Packet& answer) const {
  auto request = std::make_unique<Qor_Common_Xcp_Request_t>();
  request->timeoutUs = info.firmwareTimeoutUs;
  request->kind = kCommandKind;
  request->length = static_cast<uint16_t>(std::min<size_t>(packet.size(), QOR_COMMON_XCP_MAX_PACKET));
  std::copy_n(packet.begin(), request->length, request->packet);
  auto response = std::make_unique<Qor_Common_Xcp_Response_t>();
  if (uint32_t code = Qor_Common_Xcp_CommandWithResponse(call_.port(), channel_, request.get(), response.get())) {
    return code;
  }
  answer.assign(response->packet, response->packet + std::min<uint32_t>(response->length, QOR_COMMON_XCP_MAX_PACKET));
  return 0;
}

uint32_t CommandSession::expectAnswer(const Packet& answer, size_t bytes) const {
  if (answer.size() >= bytes) return 0;
  return call_.fail(kit::GeneralError::InvalidResponseLength, "the slave's answer holds %zu of %zu bytes",
                    answer.size(), bytes);
}

uint32_t CommandSession::slaveError(std::span<const uint8_t> packet) const {
  const uint8_t error = packet.size() >= 2 ? packet[1] : 0;
  return call_.fail(kCommon.code(kXcpError), "the slave returned error code 0x%02x - %s", error,
                    Qor_Common_Xcp_GetErrorDescription(error));
}

uint32_t CommandSession::setMta(uint32_t address, uint8_t extension) const {
  Packet packet = {kSetMta, 0, 0, extension};
  info.append32(packet, address);
  return command(packet);
}

uint32_t CommandSession::prepare(uint32_t length) const {
  Packet packet = {kProgramPrepare, 0};
  info.append16(packet, static_cast<uint16_t>(length / info.granularity));
  return command(packet);
}

uint32_t CommandSession::checkTransferLength(uint32_t length) const {
  if (length % info.granularity != 0) {
    return call_.fail(kit::GeneralError::InvalidParameter, "length %u is not a whole number of %u-byte elements",
                      length, info.granularity);
  }
  if (length / info.granularity > kMaxElements) {
    return call_.fail(kit::GeneralError::InvalidParameter, "length exceeds %u elements", kMaxElements);
  }
  return 0;
}

uint32_t CommandSession::dataPerPacket(uint8_t maxCto) const {
  const uint32_t head = info.granularity > 2 ? 4 : 2;
  const uint32_t room = maxCto > head ? maxCto - head : 0;
  return room - room % info.granularity;
}

Packet CommandSession::dataPacket(uint8_t code, uint32_t elements, std::span<const uint8_t> data) const {
  Packet packet = {code, static_cast<uint8_t>(elements)};
  if (info.granularity > 2) packet.insert(packet.end(), 2, 0);
  packet.insert(packet.end(), data.begin(), data.end());
  return packet;
}

}  // namespace qor::common::xcp
