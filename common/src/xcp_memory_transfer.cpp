// The memory transfer address and the transfers from and to it: DOWNLOAD (calibration) and UPLOAD, each in the
// slave's block mode when it offers one.
#include <algorithm>
#include <cstring>

#include "qor_common_xcp_commands.h"
#include "xcp_block_transfer.hpp"
#include "xcp_command_session.hpp"

namespace qor::common::xcp {
namespace {

constexpr BlockCodes kDownloadCodes{0xF0, 0xEF};
constexpr unsigned kEmptyUploadAnswers = 3;  // answers without data in a row before the slave is given up

uint32_t checkBlock(const kit::Call& call, const Qor_Common_Xcp_MemoryBlock_t* block) {
  if (uint32_t code = call.checkPointer(block, "block")) return code;
  return call.checkReserved(block->reserved5, "reserved bytes have to be zero");
}

uint32_t setMta(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block) {
  if (uint32_t code = checkBlock(call, block)) return code;
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  return session.setMta(block->address, block->extension);
}

uint32_t download(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block,
                  const uint8_t* data) {
  if (uint32_t code = checkBlock(call, block)) return code;
  if (block->length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  if (uint32_t code = session.checkTransferLength(block->length)) return code;
  if (uint32_t code = session.setMta(block->address, block->extension)) return code;
  if (uint32_t code = session.prepare(block->length)) return code;
  const CommandInfo& info = session.info;
  return sendData(session, kDownloadCodes, info.maxCto, (info.commModeFlags & QOR_COMMON_XCP_MASTER_BLOCK_MODE) != 0,
                  info.maxBs, std::span(data, block->length));
}

// One UPLOAD packet after another, each of what one answer holds.
uint32_t uploadByPackets(const CommandSession& session, std::span<uint8_t> data) {
  const uint8_t granularity = session.info.granularity;
  const uint32_t room = session.info.maxCto - granularity;
  const uint32_t partBytes = room - room % granularity;
  unsigned emptyAnswers = 0;
  for (size_t offset = 0; offset < data.size();) {
    const size_t part = std::min<size_t>(data.size() - offset, partBytes);
    Packet answer;
    if (uint32_t code = session.command(Packet{kUpload, static_cast<uint8_t>(part / granularity)}, answer)) {
      return code;
    }
    if (answer.size() <= granularity) {
      if (++emptyAnswers == kEmptyUploadAnswers) {
        return session.call().fail(kit::GeneralError::InvalidResponseParameter,
                                   "the slave answered UPLOAD %u times without data", kEmptyUploadAnswers);
      }
      continue;
    }
    emptyAnswers = 0;
    const size_t bytes = std::min(answer.size() - granularity, data.size() - offset);
    std::memcpy(data.data() + offset, answer.data() + granularity, bytes);
    offset += bytes;
  }
  return 0;
}

uint32_t upload(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block, uint8_t* data) {
  if (uint32_t code = checkBlock(call, block)) return code;
  if (block->length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  CommandSession session(call, channel);
  if (uint32_t code = session.open()) return code;
  if (uint32_t code = session.checkTransferLength(block->length)) return code;
  if (uint32_t code = session.setMta(block->address, block->extension)) return code;
  const std::span<uint8_t> target(data, block->length);
  if ((session.info.resources & QOR_COMMON_XCP_SLAVE_BLOCK_MODE) != 0) return uploadInBlocks(session, target);
  return uploadByPackets(session, target);
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Cmd_SetMta(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block) try {
  return xcp::setMta(qor::kit::Call(kCommon, port), channel, block);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_Download(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block,
                                    const uint8_t* data) try {
  return xcp::download(qor::kit::Call(kCommon, port), channel, block, data);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Cmd_Upload(uint32_t port, uint8_t channel, const Qor_Common_Xcp_MemoryBlock_t* block,
                                  uint8_t* data) try {
  return xcp::upload(qor::kit::Call(kCommon, port), channel, block, data);
} catch (...) {
  return kCommon.failedCall(port);
}
