// The frames of the firmware's XCP FIFOs, packed one after another: {u16 frame length (header included), u8 type,
// u8 flags, [u64 time stamp for type 1], packet bytes}. The lengths come from the device: a frame that does not
// hold its own header or runs past the bytes given is refused, never read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace qor::common::xcp {

enum FrameType : uint8_t { kPlainFrame = 0, kTimeStampedFrame = 1 };

inline constexpr size_t kFrameHeadBytes = 4;
inline constexpr size_t kTimeStampedHeadBytes = 12;

struct FifoFrame {
  uint8_t type;
  uint8_t flags;
  uint64_t timeStamp;  // 0 for frames of other types
  std::span<const uint8_t> data;
};

class FifoFrameWalker {
 public:
  explicit FifoFrameWalker(std::span<const uint8_t> frames) : rest_(frames) {}

  bool atEnd() const { return rest_.empty(); }
  // The next frame, or empty (and the walk ends) when its length is impossible. Frames of unknown types are given
  // with the plain header.
  std::optional<FifoFrame> next();

 private:
  std::span<const uint8_t> rest_;
};

}  // namespace qor::common::xcp
