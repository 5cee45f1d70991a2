#include "xcp_fifo_frames.hpp"

#include "qor_shared/byte_reader.hpp"

namespace qor::common::xcp {

std::optional<FifoFrame> FifoFrameWalker::next() {
  const std::optional<uint16_t> length = readAt<uint16_t>(rest_, 0);
  const size_t headBytes = rest_.size() > 2 && rest_[2] == kTimeStampedFrame ? kTimeStampedHeadBytes : kFrameHeadBytes;
  if (!length || *length < headBytes || *length > rest_.size()) {
    rest_ = {};
    return std::nullopt;
  }
  FifoFrame frame{rest_[2], rest_[3], 0, rest_.subspan(headBytes, *length - headBytes)};
  if (frame.type == kTimeStampedFrame) frame.timeStamp = *readAt<uint64_t>(rest_, 4);
  rest_ = rest_.subspan(*length);
  return frame;
}

}  // namespace qor::common::xcp
