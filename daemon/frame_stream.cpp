#include "frame_stream.hpp"

#include <algorithm>
#include <cstring>

namespace qor::daemon {

FrameStream::Step FrameStream::next(size_t capacity) {
  frame_ = {};
  skipAvailable();
  const size_t available = filled_ - consumed_;
  if (skipping_ != 0 || available < QOR_FRAME_HEADER_SIZE) return Step::Incomplete;
  memcpy(&header_, buffer_.data() + consumed_, sizeof header_);
  headerPosition_ = position();
  if (header_.marker != QOR_FRAME_MARKER || header_.length < QOR_FRAME_HEADER_SIZE) return Step::Lost;
  if (header_.length > capacity) {
    skipping_ = header_.length;
    skipAvailable();
    return Step::Oversized;
  }
  if (available < header_.length) return Step::Incomplete;
  frame_ = std::span<const uint8_t>(buffer_.data() + consumed_, header_.length);
  consumed_ += header_.length;
  frameStart_ = position();
  return Step::Frame;
}

std::span<uint8_t> FrameStream::freeSpace() {
  frame_ = {};
  if (consumed_ != 0) {
    memmove(buffer_.data(), buffer_.data() + consumed_, filled_ - consumed_);
    filled_ -= consumed_;
    compacted_ += consumed_;
    consumed_ = 0;
  }
  return std::span<uint8_t>(buffer_).subspan(filled_);
}

bool FrameStream::received(size_t count) {
  if (count > buffer_.size() - filled_) return false;
  filled_ += count;
  return true;
}

void FrameStream::drop() {
  compacted_ += filled_;
  filled_ = consumed_ = 0;
  skipping_ = 0;
  frameStart_ = position();
  frame_ = {};
}

void FrameStream::skipAvailable() {
  const size_t skipped = std::min(skipping_, filled_ - consumed_);
  consumed_ += skipped;
  skipping_ -= skipped;
  if (skipped != 0 && skipping_ == 0) frameStart_ = position();
}

} // namespace qor::daemon
