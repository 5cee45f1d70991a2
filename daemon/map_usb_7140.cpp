#include "map_usb_7140.hpp"

#include <algorithm>
#include <cstring>

#include "qor_shared/byte_reader.hpp"

namespace qor::daemon {
namespace {

constexpr size_t kLongestItem = 1024;
constexpr size_t kItemHeader = 12;
constexpr uint16_t kLargeHeader = 13;
constexpr uint16_t kLargePiece = 14;
constexpr size_t kWordCountOffset = 15;
constexpr uint8_t kFewestLargeWords = 6;
constexpr size_t kLargeItemExtra = 20;

size_t roundedUp(size_t length) { return (length + 3) & ~size_t{3}; }

} // namespace

void Monitor7140Assembly::clear() {
  held_.clear();
  expected_ = 0;
  packet_.clear();
  packetTotal_ = 0;
}

size_t Monitor7140Assembly::take(std::span<const uint8_t> read, std::span<uint8_t> out) {
  // Items held for want of room go out with the next read even when it brings nothing.
  if (read.empty() && held_.size() < expected_) return 0;
  std::vector<uint8_t> bytes;
  if (!held_.empty()) {
    if (read.size() < expected_ - held_.size()) {
      held_.insert(held_.end(), read.begin(), read.end());
      return 0;
    }
    bytes.swap(held_);
    expected_ = 0;
  }
  bytes.insert(bytes.end(), read.begin(), read.end());

  const size_t room = std::min(out.size(), k7140MonitorDataSize);
  size_t written = 0;
  const auto emit = [&](std::span<const uint8_t> item) {
    if (room - written < item.size()) return false;
    std::copy(item.begin(), item.end(), out.begin() + written);
    written += item.size();
    return true;
  };

  // What does not fit behind the output so far waits for the next read, walked again from this item on (a completed
  // large item then goes out with the piece that completed it, which adds nothing the second time).
  const auto holdFrom = [&](std::span<const uint8_t> rest) {
    held_.assign(rest.begin(), rest.end());
    expected_ = held_.size();
  };
  for (size_t at = 0; at < bytes.size();) {
    const std::span<const uint8_t> rest(bytes.data() + at, bytes.size() - at);
    const auto declared = readU16LE(rest, 0);
    const auto kind = readU16LE(rest, 2);
    if (!declared || !kind) { // not even the length and kind: keep them for the next read
      held_.assign(rest.begin(), rest.end());
      expected_ = 4;
      break;
    }
    const size_t length = roundedUp(*declared);
    if (length == 0 || length > kLongestItem) break;
    if (rest.size() < length) {
      held_.assign(rest.begin(), rest.end());
      expected_ = length;
      break;
    }
    const std::span<const uint8_t> item = rest.first(length);
    if (*kind == kLargeHeader && length > kWordCountOffset && item[kWordCountOffset] >= kFewestLargeWords) {
      const size_t total = item[kWordCountOffset] * size_t{4} + kLargeItemExtra;
      packet_.clear();
      packetTotal_ = 0;
      // A header longer than its whole item starts nothing: its pieces are skipped.
      if (length <= total) {
        packetTotal_ = total;
        packet_.assign(item.begin(), item.end());
        const uint16_t total16 = static_cast<uint16_t>(total);
        memcpy(packet_.data(), &total16, sizeof total16);
      }
    } else if (*kind == kLargePiece) {
      if (packetTotal_ != 0 && length > kItemHeader) {
        const size_t wanted = std::min(length - kItemHeader, packetTotal_ - packet_.size());
        packet_.insert(packet_.end(), item.begin() + kItemHeader, item.begin() + kItemHeader + wanted);
      }
      if (packetTotal_ != 0 && packet_.size() == packetTotal_) {
        if (!emit(packet_)) {
          holdFrom(rest);
          break;
        }
        packet_.clear();
        packetTotal_ = 0;
      }
    } else if (!emit(item)) {
      holdFrom(rest);
      break;
    }
    at += length;
  }
  return written;
}

} // namespace qor::daemon
