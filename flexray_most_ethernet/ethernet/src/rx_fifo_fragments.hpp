// A receive FIFO's fragments on the host. The firmware hands frames out in fragments (u16 data length, u8 unused,
// u8 flags whose bit 0 says the frame continues in the next fragment, the data), a long frame over several of them
// and possibly over several read answers. The host holds them until their frame goes out whole into a caller's
// buffer, so a read that stops (buffer full, enough frames, a failed exchange) loses nothing and never hands out
// part of a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor::ethernet {

inline constexpr size_t kFragmentHeadBytes = 4;
inline constexpr uint8_t kFragmentContinues = 0x01;
inline constexpr size_t kFrameHeadBytes = 8;

// Entry bytes of a frame in a caller's buffer: its head and data, rounded up to a multiple of 4.
constexpr size_t frameEntryBytes(size_t dataBytes) { return (kFrameHeadBytes + dataBytes + 3) & ~size_t{3}; }

class HeldFragments {
 public:
  // Room for reserveBytes from the start (the rest of one answer is what a FIFO usually holds).
  explicit HeldFragments(size_t reserveBytes = 0) { bytes_.reserve(reserveBytes); }

  // Takes up to announced fragments from the start of area, as far as they lie whole in it, and returns how many
  // lay there. Where area ends before the announced fragments do, a frame left unfinished is dropped with the rest
  // of its fragments that later answers bring. A frame that grows past the largest frame is dropped with all of its
  // fragments.
  uint32_t take(std::span<const uint8_t> area, uint32_t announced);

  // Fragments held, those of an unfinished frame included.
  uint32_t count() const { return count_; }
  // Whether a frame was dropped for its length since the last ask.
  bool takeOverlongDrop();

 private:
  friend class FrameDelivery;

  void append(std::span<const uint8_t> fragment);
  void dropUnfinished();
  void forget(size_t end, uint32_t fragments);

  std::vector<uint8_t> bytes_;  // fragments as the firmware laid them out
  size_t start_ = 0;            // of the oldest held fragment
  uint32_t count_ = 0;
  size_t unfinishedStart_ = 0;  // whole frames lie before it
  uint32_t unfinishedFragments_ = 0;
  size_t unfinishedBytes_ = 0;
  bool skippingRest_ = false;  // the rest of a dropped frame is still to come
  bool overlongDropped_ = false;
};

enum class DeliveryEnd {
  NeedMore,       // every whole frame held went out
  CountReached,   // as many frames as asked
  BufferFull,     // the next frame does not fit behind the ones delivered
  FrameTooLarge,  // the first frame does not fit into the buffer at all
};

// One read's delivery: whole held frames into the caller's buffer as entries (u32 entry bytes, u16 data length,
// u16 0, the data, zeros up to the entry bytes). The frames leave the held fragments only on commit().
class FrameDelivery {
 public:
  // maxFrames 0: no limit.
  FrameDelivery(HeldFragments& held, std::span<uint8_t> buffer, uint32_t maxFrames);

  // Delivers from where the last call stopped, so again after the held fragments took more.
  DeliveryEnd deliver();
  void commit();

  uint32_t frames() const { return frames_; }
  size_t bytes() const { return used_; }
  // The entry bytes of the frame that did not fit at all.
  size_t entryTooLarge() const { return entryTooLarge_; }

 private:
  HeldFragments& held_;
  const std::span<uint8_t> buffer_;
  const uint32_t maxFrames_;
  size_t cursor_;  // in the held bytes: the first fragment not delivered
  uint32_t fragmentsPassed_ = 0;
  uint32_t frames_ = 0;
  size_t used_ = 0;
  size_t entryTooLarge_ = 0;
};

}  // namespace qor::ethernet
