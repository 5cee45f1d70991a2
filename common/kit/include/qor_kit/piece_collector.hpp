// A message that the firmware hands over in pieces, collected into an area of fixed size. Nothing ever lands past the
// area: a piece that would run past the announced total is refused, and a message longer than the area is drained
// (its pieces counted, not stored) so that the caller can read the stream to its end and report the size it needs.
// A message is whole only when every piece of it arrived: a piece out of place (optional position check) is refused,
// and the caller drops the collection.
//
// The state (PieceTally) is kept apart from the collector so that it can live next to its area in memory that outlasts
// one call, such as an asynchronous entry's user data; the collector is a view over both.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace qor::kit {

// Where one collection stands. Zero-initialised it is idle.
struct PieceTally {
  uint32_t total;      // the announced length, or PieceCollector::kOpenTotal
  uint32_t collected;  // bytes taken so far, drained ones included
  uint8_t phase;       // PieceCollector::Phase
};

class PieceCollector {
 public:
  // A message whose length nobody announced: collected up to the area, drained beyond it.
  static constexpr uint32_t kOpenTotal = UINT32_MAX;

  enum Phase : uint8_t { kIdle = 0, kCollecting = 1, kDraining = 2 };

  enum class Append {
    kStored,     // the piece is in the area
    kDrained,    // counted, not stored: the message does not fit the area
    kPastTotal,  // refused: it would run past the announced total
    kMisplaced,  // refused: not at the position collected so far, or no collection in progress
  };

  PieceCollector(std::span<uint8_t> area, PieceTally& tally) : area_(area), tally_(tally) {}

  // Starts a message of total bytes (drained at once when it cannot fit the area).
  void begin(uint32_t total = kOpenTotal) {
    const bool fits = total == kOpenTotal || total <= area_.size();
    tally_ = PieceTally{total, 0, fits ? kCollecting : kDraining};
  }
  // Stops storing: the rest of the message is only counted.
  void drain() {
    if (tally_.phase == kCollecting) tally_.phase = kDraining;
  }
  // Forgets the message.
  void drop() { tally_ = PieceTally{0, 0, kIdle}; }

  Append append(std::span<const uint8_t> piece) {
    if (tally_.phase == kIdle) return Append::kMisplaced;
    const uint64_t end = uint64_t{tally_.collected} + piece.size();
    if (end > tally_.total) return Append::kPastTotal;  // kOpenTotal bounds the count as well
    if (tally_.phase == kCollecting && end > area_.size()) tally_.phase = kDraining;
    if (tally_.phase == kCollecting && !piece.empty()) {
      std::memcpy(area_.data() + tally_.collected, piece.data(), piece.size());
    }
    tally_.collected = static_cast<uint32_t>(end);
    return tally_.phase == kCollecting ? Append::kStored : Append::kDrained;
  }
  // The same, for a piece that names its position in the message.
  Append appendAt(uint32_t position, std::span<const uint8_t> piece) {
    if (tally_.phase == kIdle || position != tally_.collected) return Append::kMisplaced;
    return append(piece);
  }

  bool idle() const { return tally_.phase == kIdle; }
  bool draining() const { return tally_.phase == kDraining; }
  // Every byte of the announced total is stored.
  bool complete() const {
    return tally_.phase == kCollecting && tally_.total != kOpenTotal && tally_.collected == tally_.total;
  }
  uint32_t total() const { return tally_.total; }
  uint32_t collected() const { return tally_.collected; }
  // The stored bytes (none while draining).
  std::span<const uint8_t> data() const {
    if (tally_.phase != kCollecting) return {};
    return std::span<const uint8_t>(area_).first(std::min<size_t>(tally_.collected, area_.size()));
  }

 private:
  std::span<uint8_t> area_;
  PieceTally& tally_;
};

}  // namespace qor::kit
