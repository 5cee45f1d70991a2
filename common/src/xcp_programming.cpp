// Flash programming: processor and sector information, clearing, checksums, and PROGRAM with its session.
#include "qor_common_xcp_commands.h"
#include "xcp_block_transfer.hpp"
#include "xcp_command_session.hpp"

namespace qor::common::xcp {
namespace {

constexpr BlockCodes kProgramCodes{0xD0, 0xCA};
constexpr uint8_t kSmallestMaxCto = 8;
constexpr uint8_t kFunctionalFlags = 0x07;
constexpr uint8_t kLastChecksumType = 9;
constexpr uint8_t kUserChecksumType = 0xFF;

uint32_t getPgmProcessorInfo(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_PgmProcessorInfo_t* info) {
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Packet answer;
  if (uint32_t code = session.command(Packet{kGetPgmProcessorInfo}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 3)) return code;
  *info = Qor_Common_Xcp_PgmProcessorInfo_t{};
  info->properties = answer[1];
  info->maxSector = answer[2];
  return 0;
}

uint32_t getSectorInfo(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_SectorRequest_t* request,
                       Qor_Common_Xcp_SectorInfo_t* info) {
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  if (uint32_t code = call.checkReserved(request->reserved1, "reserved bytes have to be zero")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Qor_Common_Xcp_SectorInfo_t result{};
  Packet answer;
  // Mode 0: sequence numbers, method and start; mode 1: length; mode 2: the name's length.
  if (uint32_t code = session.command(Packet{kGetSectorInfo, 0, request->sector}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 8)) return code;
  result.clearSequence = answer[1];
  result.programSequence = answer[2];
  result.programMethod = answer[3];
  result.startAddress = session.info.read32(answer, 4);
  if (uint32_t code = session.command(Packet{kGetSectorInfo, 1, request->sector}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 8)) return code;
  result.length = session.info.read32(answer, 4);
  if (uint32_t code = session.command(Packet{kGetSectorInfo, 2, request->sector}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 2)) return code;
  result.nameLength = answer[1];
  *info = result;
  return 0;
}

uint32_t programClear(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_ClearRange_t* range) {
  if (uint32_t code = call.checkPointer(range, "range")) return code;
  if (uint32_t code = call.checkReserved(range->reserved1, "reserved bytes have to be zero")) return code;
  if (range->mode > QOR_COMMON_XCP_CLEAR_FUNCTIONAL) return call.fail(kit::GeneralError::UnknownMode);
  const bool functional = range->mode == QOR_COMMON_XCP_CLEAR_FUNCTIONAL;
  if (functional) {
    if (uint32_t code = call.checkFlags(range->functionalFlags, kFunctionalFlags)) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  const uint32_t clearRange =
      functional ? (range->functionalRange & ~uint32_t{0xFF}) | range->functionalFlags : range->absoluteRange;
  Packet packet = {kProgramClear, range->mode, 0, 0};
  session.info.append32(packet, clearRange);
  return session.command(packet);
}

uint32_t buildChecksum(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_ChecksumRequest_t* request,
                       Qor_Common_Xcp_Checksum_t* checksum) {
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(checksum, "checksum")) return code;
  if (uint32_t code = call.checkReserved(request->reserved4, "reserved bytes have to be zero")) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  Packet packet = {kBuildChecksum, 0, 0, 0};
  session.info.append32(packet, request->blockSize);
  Packet answer;
  if (uint32_t code = session.command(packet, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 8)) return code;
  const uint8_t type = answer[1];
  *checksum = Qor_Common_Xcp_Checksum_t{};
  checksum->type = (type >= 1 && type <= kLastChecksumType) || type == kUserChecksumType ? type : 0;
  checksum->checksum = session.info.read32(answer, 4);
  return 0;
}

uint32_t programReset(const kit::Call& call, uint8_t channel) {
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  return session.command(Packet{kProgramReset});
}

uint32_t program(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_ProgramBlock_t* block,
                 const uint8_t* data) {
  if (uint32_t code = call.checkPointer(block, "block")) return code;
  if (uint32_t code = call.checkFlags(block->flags, 0)) return code;
  if (uint32_t code = call.checkReserved(block->block.reserved5, "reserved bytes have to be zero")) return code;
  const uint32_t length = block->block.length;
  if (length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  if (uint32_t code = session.checkTransferLength(length)) return code;
  Packet answer;
  if (uint32_t code = session.command(Packet{kProgramStart}, answer)) return code;
  if (uint32_t code = session.expectAnswer(answer, 5)) return code;
  const bool masterBlockMode = (answer[2] & QOR_COMMON_XCP_MASTER_BLOCK_MODE) != 0;
  const uint8_t maxCtoPgm = answer[3];
  const uint8_t maxBsPgm = answer[4];
  if (maxCtoPgm < kSmallestMaxCto) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the slave's MAX_CTO_PGM %u is below %u", maxCtoPgm,
                     kSmallestMaxCto);
  }
  if (masterBlockMode && maxBsPgm == 0) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the slave offers master block mode with MAX_BS 0");
  }
  if (uint32_t code = session.setMta(block->block.address, block->block.extension)) return code;
  if (uint32_t code = session.prepare(length)) return code;
  return sendData(session, kProgramCodes, maxCtoPgm, masterBlockMode, maxBsPgm, std::span(data, length));
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Cmd_GetPgmProcessorInfo(uint32_t port, uint8_t channel,
                                               Qor_Common_Xcp_PgmProcessorInfo_t* info) try {
  return xcp::getPgmProcessorInfo(qor::kit::Call(kCommon, port), channel, info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_GetSectorInfo(uint32_t port, uint8_t channel,
                                         const Qor_Common_Xcp_SectorRequest_t* request,
                                         Qor_Common_Xcp_SectorInfo_t* info) try {
  return xcp::getSectorInfo(qor::kit::Call(kCommon, port), channel, request, info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_ProgramClear(uint32_t port, uint8_t channel, const Qor_Common_Xcp_ClearRange_t* range) try {
  return xcp::programClear(qor::kit::Call(kCommon, port), channel, range);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_BuildChecksum(uint32_t port, uint8_t channel,
                                         const Qor_Common_Xcp_ChecksumRequest_t* request,
                                         Qor_Common_Xcp_Checksum_t* checksum) try {
  return xcp::buildChecksum(qor::kit::Call(kCommon, port), channel, request, checksum);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_ProgramReset(uint32_t port, uint8_t channel) try {
  return xcp::programReset(qor::kit::Call(kCommon, port), channel);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_Program(uint32_t port, uint8_t channel, const Qor_Common_Xcp_ProgramBlock_t* block,
                                   const uint8_t* data) try {
  return xcp::program(qor::kit::Call(kCommon, port), channel, block, data);
} catch (...) {
  return kCommon.failedCall(port);
}
