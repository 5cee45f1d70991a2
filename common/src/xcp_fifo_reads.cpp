// Reading the receive FIFOs (sub-functions 7 and 8): one firmware answer holds every frame waiting; each frame is
// checked against the record it goes to before a byte is copied.
#include <algorithm>
#include <functional>

#include "common_library.hpp"
#include "qor_common_xcp.h"
#include "xcp_channel.hpp"
#include "xcp_fifo_frames.hpp"

namespace qor::common::xcp {
namespace {

using kit::GeneralError;

struct FifoRead {
  ChannelSubFunction subFunction;
  uint8_t frameType;          // the type every frame must have
  const char* otherTypeText;  // for a frame of the other known type; nullptr: that type counts as unknown
  size_t maxData;             // data bytes a record holds
  const char* fullText;       // the records are used up with frames left
};

constexpr char kMoreFrames[] = "more frames are available";
constexpr char kInfoFull[] = "buffer for frame info ('frames') is too small";
constexpr char kNeedsPlain[] =
    "received a frame with timestamp data - you need to deactivate timestamp data to use this function";
constexpr char kNeedsTimeStamps[] =
    "received a frame without timestamp data - you need to activate timestamp data to use this function";

constexpr FifoRead kDtoRead{kReadDtoReceive, kPlainFrame, kNeedsPlain, QOR_COMMON_XCP_MAX_DTO_DATA, kMoreFrames};
constexpr FifoRead kDtoReadTs{kReadDtoReceive, kTimeStampedFrame, kNeedsTimeStamps, QOR_COMMON_XCP_MAX_DTO_DATA,
                              kMoreFrames};
constexpr FifoRead kCtoRead{kReadCtoReceive, kPlainFrame, nullptr, QOR_COMMON_XCP_MAX_CTO_DATA, kMoreFrames};

// Stores frame `index` (from 0); a code ends the read.
using StoreFrame = std::function<uint32_t(uint32_t index, const FifoFrame& frame)>;

uint32_t checkFrame(const kit::Call& call, const FifoRead& read, uint32_t number, const FifoFrame& frame) {
  if (frame.type != read.frameType) {
    if (frame.type <= kTimeStampedFrame && read.otherTypeText != nullptr) {
      return call.fail(kCommon.code(kInvalidConfiguration), "%s", read.otherTypeText);
    }
    return call.fail(GeneralError::InvalidResponseParameter, "the frame type of frame %u is unknown", number);
  }
  if (frame.data.size() > read.maxData) {
    return call.fail(GeneralError::InvalidResponseLength,
                     "the data length of frame %u exceeds the maximum allowed length", number);
  }
  return 0;
}

// *count: the capacity in records on entry, the records stored on return.
uint32_t readFifo(const kit::Call& call, uint8_t channel, const FifoRead& read, uint32_t* count,
                  const StoreFrame& store) {
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, channelRequest(read.subFunction, channel, kChannelHeaderBytes), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kChannelHeaderBytes)) return call.shortAnswer(reader);
  const uint32_t capacity = *count;
  uint32_t stored = 0;
  const auto finish = [&](uint32_t code) {
    *count = stored;
    return code;
  };
  FifoFrameWalker walker(reader.rest(kChannelHeaderBytes));
  while (!walker.atEnd()) {
    const uint32_t number = stored + 1;
    if (stored == capacity) return finish(call.fail(GeneralError::ResponseBufferUndersized, "%s", read.fullText));
    const std::optional<FifoFrame> frame = walker.next();
    if (!frame) {
      return finish(call.fail(GeneralError::InvalidResponseLength, "the length of frame %u is invalid", number));
    }
    if (uint32_t code = checkFrame(call, read, number, *frame)) return finish(code);
    if (uint32_t code = store(stored, *frame)) return finish(code);
    ++stored;
  }
  return finish(0);
}

// A record per frame: Qor_Common_Xcp_DtoFrame_t, _DtoFrameTs_t or _CtoFrame_t.
template <class Record>
uint32_t readRecords(const kit::Call& call, uint8_t channel, const FifoRead& read, uint32_t* count, Record* frames) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (uint32_t code = call.checkPointer(frames, "frames")) return code;
  return readFifo(call, channel, read, count, [&](uint32_t index, const FifoFrame& frame) {
    Record& record = frames[index];
    record.flag = frame.flags & 1;
    record.reserved1 = 0;
    record.length = static_cast<uint16_t>(frame.data.size());
    if constexpr (requires { record.timeStamp; }) {
      std::fill(std::begin(record.reserved4), std::end(record.reserved4), 0);
      record.timeStamp = frame.timeStamp;
    }
    std::copy(frame.data.begin(), frame.data.end(), record.data);
    return 0u;
  });
}

// The data of all frames packed into the caller's buffer: Qor_Common_Xcp_FrameInfo_t or _FrameInfoTs_t.
template <class Info>
uint32_t readPacked(const kit::Call& call, uint8_t channel, const FifoRead& read, uint32_t flags, uint32_t bufferSize,
                    uint8_t* buffer, uint32_t* count, Info* frames) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (uint32_t code = call.checkPointer(buffer, "buffer")) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  if (uint32_t code = call.checkPointer(frames, "frames")) return code;
  FifoRead packed = read;
  packed.fullText = kInfoFull;
  uint32_t offset = 0;
  return readFifo(call, channel, packed, count, [&](uint32_t index, const FifoFrame& frame) {
    if (frame.data.size() > bufferSize - offset) {
      return call.fail(GeneralError::ResponseBufferUndersized, "buffer for frame data ('buffer') is too small");
    }
    std::copy(frame.data.begin(), frame.data.end(), buffer + offset);
    Info& info = frames[index];
    info.flag = frame.flags & 1;
    info.length = static_cast<uint16_t>(frame.data.size());
    info.offset = offset;
    if constexpr (requires { info.timeStamp; }) info.timeStamp = frame.timeStamp;
    offset += static_cast<uint32_t>(frame.data.size());
    return 0u;
  });
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_ReadDtoRxFifo(uint32_t port, uint8_t channel, uint32_t* count,
                                      Qor_Common_Xcp_DtoFrame_t* frames) try {
  return xcp::readRecords(qor::kit::Call(kCommon, port), channel, xcp::kDtoRead, count, frames);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_ReadDtoRxFifoTs(uint32_t port, uint8_t channel, uint32_t* count,
                                        Qor_Common_Xcp_DtoFrameTs_t* frames) try {
  return xcp::readRecords(qor::kit::Call(kCommon, port), channel, xcp::kDtoReadTs, count, frames);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_ReadCtoRxFifo(uint32_t port, uint8_t channel, uint32_t* count,
                                      Qor_Common_Xcp_CtoFrame_t* frames) try {
  return xcp::readRecords(qor::kit::Call(kCommon, port), channel, xcp::kCtoRead, count, frames);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_ReadDtoRxFifo2(uint32_t port, uint8_t channel, uint32_t flags, uint32_t bufferSize,
                                       uint8_t* buffer, uint32_t* count, Qor_Common_Xcp_FrameInfo_t* frames) try {
  return xcp::readPacked(qor::kit::Call(kCommon, port), channel, xcp::kDtoRead, flags, bufferSize, buffer, count,
                         frames);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_ReadDtoRxFifo2Ts(uint32_t port, uint8_t channel, uint32_t flags, uint32_t bufferSize,
                                         uint8_t* buffer, uint32_t* count, Qor_Common_Xcp_FrameInfoTs_t* frames) try {
  return xcp::readPacked(qor::kit::Call(kCommon, port), channel, xcp::kDtoReadTs, flags, bufferSize, buffer, count,
                         frames);
} catch (...) {
  return kCommon.failedCall(port);
}
