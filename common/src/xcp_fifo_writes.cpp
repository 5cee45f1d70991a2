// Writing the transmit FIFOs (sub-functions 9 and 10): frames {u16 frame length, u8 type 0, u8 flags 0, data} packed
// into requests of at most the port's parameter length. All frames are checked before the first request goes.
#include <algorithm>

#include "common_library.hpp"
#include "qor_common_xcp.h"
#include "xcp_channel.hpp"
#include "xcp_fifo_frames.hpp"

namespace qor::common::xcp {
namespace {

using kit::GeneralError;

struct FifoWrite {
  ChannelSubFunction subFunction;
  uint32_t maxData;          // the kind's own limit; the port's parameter length may lower it
  const char* tooLongFormat; // with the frame's index and the limit
};

constexpr FifoWrite kDtoWrite{kWriteDtoTransmit, UINT32_MAX,
                              "data length of frame with index %u exceeds maximum data length of %u bytes"};
constexpr FifoWrite kCtoWrite{kWriteCtoTransmit, QOR_COMMON_XCP_MAX_CTO_WRITE,
                              "data length of frame with index %u exceeds maximum data length (%u bytes)"};

template <class Frame>
uint32_t checkFrames(const kit::Call& call, const FifoWrite& write, uint32_t maxData, uint32_t count,
                     const Frame* frames) {
  for (uint32_t index = 0; index < count; ++index) {
    if (frames[index].reserved2 != 0) {
      return call.fail(GeneralError::InvalidParameter, "reserved bytes of frame with index %u are not zero", index);
    }
    if (frames[index].length > maxData) {
      return call.fail(GeneralError::InvalidDataLength, write.tooLongFormat, index, maxData);
    }
  }
  return 0;
}

template <class Frame>
uint32_t writeFifo(const kit::Call& call, uint8_t channel, const FifoWrite& write, uint32_t count,
                   const Frame* frames) {
  if (uint32_t code = call.checkPort()) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(frames, "frames")) return code;
  // A request's header and a frame's header leave this much room for one frame's data.
  uint32_t room = 0;
  if (uint32_t code = call.pieceLength(kChannelHeaderBytes + kFrameHeadBytes, &room)) return code;
  const uint32_t maxData = std::min({write.maxData, room, uint32_t{UINT16_MAX} - uint32_t{kFrameHeadBytes}});
  if (uint32_t code = checkFrames(call, write, maxData, count, frames)) return code;

  std::vector<uint8_t> answer;
  kit::RecordWriter request = channelRequest(write.subFunction, channel, parameterLength);
  for (uint32_t index = 0; index < count; ++index) {
    const Frame& frame = frames[index];
    if (kFrameHeadBytes + frame.length > request.room()) {
      if (uint32_t code = exchange(call, request, answer)) return code;
      request = channelRequest(write.subFunction, channel, parameterLength);
    }
    request.u16(static_cast<uint16_t>(kFrameHeadBytes + frame.length)).u8(kPlainFrame).u8(0);
    request.bytes(frame.data, frame.length);
  }
  return exchange(call, request, answer);
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_WriteDtoTxFifo(uint32_t port, uint8_t channel, uint32_t count,
                                       const Qor_Common_Xcp_TxDtoFrame_t* frames) try {
  return xcp::writeFifo(qor::kit::Call(kCommon, port), channel, xcp::kDtoWrite, count, frames);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_WriteCtoTxFifo(uint32_t port, uint8_t channel, uint32_t count,
                                       const Qor_Common_Xcp_TxCtoFrame_t* frames) try {
  return xcp::writeFifo(qor::kit::Call(kCommon, port), channel, xcp::kCtoWrite, count, frames);
} catch (...) {
  return kCommon.failedCall(port);
}
