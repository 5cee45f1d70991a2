// The frames in a device's TCP byte stream. Bytes are received into the stream's free space; whole frames are taken
// from its front. A frame starts with a 12-byte header: marker '#' at +0, the frame's length (header included) at +2.
// The stream trusts nothing it receives: a front that is no header loses the framing, and a frame longer than the
// caller takes is skipped as its bytes arrive. Not thread-safe: one reader (the port's hardware thread) owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "qor_protocol.h"

namespace qor::daemon {

class FrameStream {
public:
  enum class Step {
    Frame,      // frame() holds a whole frame, valid until the stream is next changed
    Oversized,  // header() begins a frame longer than the caller takes: its bytes are skipped as they arrive
    Incomplete, // the next frame is not whole yet (or nothing is held): receive more
    Lost,       // header() is no frame header: the stream lost its framing and must be dropped
  };

  // Takes the next frame of at most capacity bytes off the front.
  Step next(size_t capacity);

  std::span<const uint8_t> frame() const { return frame_; }
  const FirmwareMessageHeader& header() const { return header_; }
  // Where header() was read, counted in all bytes ever received.
  uint64_t headerPosition() const { return headerPosition_; }

  // Where the next receive writes; never empty once next() has returned Incomplete, as the stream holds the longest
  // frame and a receive chunk more.
  std::span<uint8_t> freeSpace();
  // count bytes were written to the start of freeSpace(); more than it offered are refused (false).
  bool received(size_t count);

  // Forgets everything held, as when the connection is replaced.
  void drop();

  // Part of a frame is held, or a frame is being skipped.
  bool inFrame() const { return skipping_ != 0 || filled_ != consumed_; }
  // A header has arrived and its frame is not whole yet: its body is being awaited or skipped.
  bool inBody() const { return skipping_ != 0 || filled_ - consumed_ >= QOR_FRAME_HEADER_SIZE; }
  // Where the frame pending at the front starts, counted in all bytes ever received.
  uint64_t frameStart() const { return frameStart_; }

private:
  static constexpr size_t kReceiveChunk = 65536;

  uint64_t position() const { return compacted_ + consumed_; }
  void skipAvailable();

  // The bytes from consumed_ to filled_ are not yet taken as frames.
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(QOR_FRAME_MAX_LENGTH + kReceiveChunk);
  size_t filled_ = 0;
  size_t consumed_ = 0;
  size_t skipping_ = 0;     // bytes still to discard of a frame too long for the caller
  uint64_t compacted_ = 0;  // bytes received before buffer_[0]
  uint64_t frameStart_ = 0;
  FirmwareMessageHeader header_{};
  uint64_t headerPosition_ = 0;
  std::span<const uint8_t> frame_;
};

} // namespace qor::daemon
