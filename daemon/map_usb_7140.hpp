// The monitor data of the 7140 model: its FPGA delivers items {u16 length, u16 kind, ...}, lengths rounded up to 4
// bytes, which reads cut anywhere; large items come as a header (kind 13, byte 15 = count of 4-byte words, at least
// 6) and pieces (kind 14, data from offset 12). This assembly turns the bytes of successive reads into whole items.
// The bytes are the device's: a header longer than its whole item starts nothing, a piece shorter than its head adds
// nothing, and output never passes its room (what does not fit goes out with the next read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor::daemon {

// The most monitor data one read delivers.
inline constexpr size_t k7140MonitorDataSize = 4108;

class Monitor7140Assembly {
public:
  // Walks the bytes of one read behind what an earlier read left cut; writes the whole items (and a large item once
  // complete) into out, at most k7140MonitorDataSize bytes, and returns their length.
  size_t take(std::span<const uint8_t> read, std::span<uint8_t> out);
  // Forgets cut and collected items.
  void clear();
  // The bytes of a cut item kept from earlier reads.
  size_t held() const { return held_.size(); }

private:
  std::vector<uint8_t> held_; // the start of an item the last read cut
  size_t expected_ = 0;       // that item's length
  std::vector<uint8_t> packet_; // a large item being collected
  size_t packetTotal_ = 0;      // its length, 0 when none is collected
};

} // namespace qor::daemon
