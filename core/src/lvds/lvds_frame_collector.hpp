// The frames of an LVDS frame grabber, put together from the chunks that arrive in the answer stream.
//
// A frame counts as complete only when its chunks came one after the other from offset 0 up to its total size: a
// lost or repeated chunk, or a new frame that begins early, drops the frame instead of delivering stale bytes.
// Three buffers take turns (one filling, one holding the newest complete frame, one taken by the reader), so that a
// frame being read never changes. Buffers grow to the announced frame size and are then reused: adding chunks does
// not allocate. Not thread-safe: the port guards it with its frame lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace qor::client {

class FrameCollector {
 public:
  enum class Outcome { Added, Completed, Dropped };

  struct Counters {
    uint64_t completedFrames = 0;
    uint64_t droppedFrames = 0; // begun but not completed
    uint64_t droppedChunks = 0; // malformed, out of bounds or not continuing a frame
  };

  // One chunk: the parameters of a frame-data answer (LvdsFrameChunk and its bytes), as far as they arrived.
  Outcome add(std::span<const uint8_t> parameters);

  // The newest complete frame, taken: unchanged until release. Empty when none waits or one is still taken.
  std::optional<std::span<uint8_t>> take();
  void release();
  bool hasFrame() const { return ready_ != kNone; }
  bool isTaken() const { return taken_ != kNone; }
  // Drops the complete frame that waits, if any.
  void discardFrame() { ready_ = kNone; }

  bool frameInProgress() const { return inProgress_; }
  // The size of the last completed frame.
  uint32_t lastFrameLength() const { return lastFrameLength_; }
  const Counters& counters() const { return counters_; }

 private:
  struct Buffer {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
    uint32_t length = 0;
  };
  static constexpr int kNone = -1;

  bool beginFrame(uint32_t total);
  void abandonFrame();
  void completeFrame();
  Outcome drop();

  std::array<Buffer, 3> buffers_;
  int filling_ = 0;
  int ready_ = kNone;
  int taken_ = kNone;
  bool inProgress_ = false;
  uint32_t total_ = 0;
  uint32_t nextOffset_ = 0;
  uint32_t lastFrameLength_ = 0;
  Counters counters_;
};

} // namespace qor::client
