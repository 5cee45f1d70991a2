// Connection, status and seed & key: CONNECT fixes how later packets are shaped (byte order, granularity, MAX_CTO),
// GET_COMM_MODE_INFO the block-mode limits.
#include <algorithm>
#include <cstring>

#include "qor_common_xcp_commands.h"
#include "xcp_command_session.hpp"
#include "xcp_seed_key.hpp"

namespace qor::common::xcp {
namespace {

constexpr uint8_t kSmallestMaxCto = 8;  // the least XCP allows
constexpr uint8_t kSeedResourceCodes[] = {0x01, 0x04, 0x08, 0x10};

// Bit `from` of byte, moved to bit `to`.
uint32_t moveBit(uint8_t byte, unsigned from, unsigned to) { return uint32_t{(byte >> from) & 1u} << to; }

uint32_t connect(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_ConnectMode_t* mode,
                 Qor_Common_Xcp_ConnectInfo_t* result) {
  if (uint32_t code = call.checkPointer(mode, "mode")) return code;
  if (uint32_t code = call.checkPointer(result, "info")) return code;
  if (uint32_t code = call.checkReserved(mode->reserved1, "reserved bytes have to be zero")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  if (mode->mode > 1) return call.fail(kit::GeneralError::UnknownMode);
  Packet answer;
  if (uint32_t code = session.command(Packet{kConnect, mode->mode}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 8)) return code;
  const uint8_t resource = answer[1];
  const uint8_t basic = answer[2];
  const uint8_t maxCto = answer[3];
  if (maxCto < kSmallestMaxCto) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the slave's MAX_CTO %u is below %u", maxCto,
                     kSmallestMaxCto);
  }
  CommandInfo& info = session.info;
  info.resources = moveBit(resource, 0, 0) | moveBit(resource, 2, 1) | moveBit(resource, 3, 2) |
                   moveBit(resource, 4, 3) | moveBit(basic, 6, 4) | moveBit(basic, 7, 5);
  info.bigEndian = (basic & 1) != 0;
  const uint8_t granularityCode = (basic >> 1) & 3;
  info.granularity = granularityCode == 1 ? 2 : granularityCode == 2 ? 4 : 1;
  info.maxCto = maxCto;
  session.store();

  *result = Qor_Common_Xcp_ConnectInfo_t{};
  result->resources = info.resources;
  result->byteOrder = info.bigEndian ? 1 : 0;
  result->granularityCode = granularityCode;
  result->protocolVersion = answer[6];
  result->transportVersion = answer[7];
  result->maxDto = info.read16(answer, 4);
  result->maxCto = maxCto;
  return 0;
}

uint32_t disconnect(const kit::Call& call, uint8_t channel) {
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  return session.command(Packet{kDisconnect});
}

uint32_t getStatus(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_Status_t* status) {
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Packet answer;
  if (uint32_t code = session.command(Packet{kGetStatus}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 6)) return code;
  const uint8_t sessionStatus = answer[1];
  const uint8_t protection = answer[2];
  *status = Qor_Common_Xcp_Status_t{};
  status->flags = moveBit(sessionStatus, 0, 0) | moveBit(sessionStatus, 2, 1) | moveBit(sessionStatus, 3, 2) |
                  moveBit(sessionStatus, 6, 3) | moveBit(sessionStatus, 7, 4) | moveBit(protection, 0, 5) |
                  moveBit(protection, 2, 6) | moveBit(protection, 3, 7) | moveBit(protection, 4, 8);
  status->sessionConfigurationId = session.info.read16(answer, 4);
  return 0;
}

uint32_t getCommModeInfo(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_CommModeInfo_t* result) {
  if (uint32_t code = call.checkPointer(result, "info")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Packet answer;
  if (uint32_t code = session.command(Packet{kGetCommModeInfo}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 8)) return code;
  const uint32_t flags = answer[2] & (QOR_COMMON_XCP_MASTER_BLOCK_MODE | QOR_COMMON_XCP_INTERLEAVED_MODE);
  const uint8_t maxBs = answer[4];
  if ((flags & QOR_COMMON_XCP_MASTER_BLOCK_MODE) != 0 && maxBs == 0) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the slave offers master block mode with MAX_BS 0");
  }
  session.info.commModeFlags = flags;
  session.info.maxBs = maxBs;
  session.info.minSt = answer[5];
  session.store();
  *result = Qor_Common_Xcp_CommModeInfo_t{flags, maxBs, answer[5], answer[6], answer[7]};
  return 0;
}

uint32_t getSeed(const kit::Call& call, uint8_t channel, uint32_t resource, uint32_t* length, uint8_t* seed) {
  if (uint32_t code = call.checkPointer(length, "length")) return code;
  if (*length != 0) {
    if (uint32_t code = call.checkPointer(seed, "seed")) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  if (resource >= std::size(kSeedResourceCodes)) {
    return call.fail(kit::GeneralError::InvalidParameter, "'resource' value is unknown");
  }
  return askSeed(session, kSeedResourceCodes[resource], *length, seed);
}

uint32_t unlock(const kit::Call& call, uint8_t channel, uint8_t keyLength, const uint8_t* key) {
  if (keyLength != 0) {
    if (uint32_t code = call.checkPointer(key, "key")) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Packet lastAnswer;
  return sendKey(session, std::span(key, keyLength), lastAnswer);
}

}  // namespace

// Seed parts of at most MAX_CTO - 2 bytes, never more than the slave announced nor than its answers hold.
uint32_t askSeed(const CommandSession& session, uint8_t resourceCode, uint32_t& length, uint8_t* seed) {
  const kit::Call& call = session.call();
  const size_t partBytes = session.info.maxCto - 2u;
  Packet answer;
  if (uint32_t code = session.command(Packet{kGetSeed, 0, resourceCode}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 2)) return code;
  const uint32_t seedLength = answer[1];
  if (length < seedLength) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "%u bytes are needed for the seed", seedLength);
  }
  length = seedLength;
  if (seedLength == 0) return 0;
  size_t copied = 0;
  for (bool first = true;; first = false) {
    const size_t announced = first ? seedLength : answer[1];
    const size_t part = std::min({announced, partBytes, seedLength - copied, answer.size() - 2});
    if (part == 0 && !first) {
      return call.fail(kit::GeneralError::InvalidResponseParameter, "the slave sent %zu of the %u seed bytes",
                       copied, seedLength);
    }
    std::memcpy(seed + copied, answer.data() + 2, part);
    copied += part;
    if (copied == seedLength) return 0;
    if (uint32_t code = session.command(Packet{kGetSeed, 1, resourceCode}, answer)) return code;
    if (uint32_t code = session.expectAnswer(answer, 2)) return code;
  }
}

// The caller's key in parts of MAX_CTO - 2 bytes, each led by the number of key bytes not yet sent.
uint32_t sendKey(const CommandSession& session, std::span<const uint8_t> key, Packet& lastAnswer) {
  const size_t partBytes = session.info.maxCto - 2u;
  for (size_t sent = 0; sent < key.size();) {
    const size_t part = std::min<size_t>(key.size() - sent, partBytes);
    Packet packet = {kUnlock, static_cast<uint8_t>(key.size() - sent)};
    packet.insert(packet.end(), key.begin() + static_cast<ptrdiff_t>(sent),
                  key.begin() + static_cast<ptrdiff_t>(sent + part));
    if (uint32_t code = session.command(packet, lastAnswer)) return code;
    sent += part;
  }
  return 0;
}

}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Cmd_Connect(uint32_t port, uint8_t channel, const Qor_Common_Xcp_ConnectMode_t* mode,
                                   Qor_Common_Xcp_ConnectInfo_t* info) try {
  return xcp::connect(qor::kit::Call(kCommon, port), channel, mode, info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_Disconnect(uint32_t port, uint8_t channel) try {
  return xcp::disconnect(qor::kit::Call(kCommon, port), channel);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_GetStatus(uint32_t port, uint8_t channel, Qor_Common_Xcp_Status_t* status) try {
  return xcp::getStatus(qor::kit::Call(kCommon, port), channel, status);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_GetCommModeInfo(uint32_t port, uint8_t channel, Qor_Common_Xcp_CommModeInfo_t* info) try {
  return xcp::getCommModeInfo(qor::kit::Call(kCommon, port), channel, info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_GetSeed(uint32_t port, uint8_t channel, uint32_t resource, uint32_t* length,
                                   uint8_t* seed) try {
  return xcp::getSeed(qor::kit::Call(kCommon, port), channel, resource, length, seed);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_Unlock(uint32_t port, uint8_t channel, uint8_t keyLength, const uint8_t* key) try {
  return xcp::unlock(qor::kit::Call(kCommon, port), channel, keyLength, key);
} catch (...) {
  return kCommon.failedCall(port);
}
