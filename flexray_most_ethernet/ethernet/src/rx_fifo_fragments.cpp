#include "rx_fifo_fragments.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "qor_ethernet_rx_fifo.h"

namespace qor::ethernet {
namespace {

size_t dataBytesAt(const uint8_t* fragment) { return fragment[0] | size_t{fragment[1]} << 8; }
bool continuesAt(const uint8_t* fragment) { return (fragment[3] & kFragmentContinues) != 0; }

void putLittleEndian(uint8_t* out, uint32_t value, size_t bytes) {
  for (size_t index = 0; index < bytes; ++index) out[index] = static_cast<uint8_t>(value >> (8 * index));
}

}  // namespace

uint32_t HeldFragments::take(std::span<const uint8_t> area, uint32_t announced) {
  uint32_t taken = 0;
  for (; taken < announced && area.size() >= kFragmentHeadBytes; ++taken) {
    const size_t fragmentBytes = kFragmentHeadBytes + dataBytesAt(area.data());
    if (fragmentBytes > area.size()) break;
    append(area.first(fragmentBytes));
    area = area.subspan(fragmentBytes);
  }
  if (taken < announced) {
    // The frame left unfinished goes; what the firmware still has of it must not start a frame of its own.
    if (unfinishedFragments_ > 0) skippingRest_ = true;
    dropUnfinished();
  }
  return taken;
}

bool HeldFragments::takeOverlongDrop() { return std::exchange(overlongDropped_, false); }

void HeldFragments::append(std::span<const uint8_t> fragment) {
  const bool continues = continuesAt(fragment.data());
  if (skippingRest_) {
    skippingRest_ = continues;
    return;
  }
  const size_t dataBytes = fragment.size() - kFragmentHeadBytes;
  if (unfinishedBytes_ + dataBytes > QOR_ETHERNET_RX_FIFO_MAX_FRAME_BYTES) {
    dropUnfinished();
    overlongDropped_ = true;
    skippingRest_ = continues;
    return;
  }
  bytes_.insert(bytes_.end(), fragment.begin(), fragment.end());
  ++count_;
  if (continues) {
    ++unfinishedFragments_;
    unfinishedBytes_ += dataBytes;
  } else {
    unfinishedStart_ = bytes_.size();
    unfinishedFragments_ = 0;
    unfinishedBytes_ = 0;
  }
}

void HeldFragments::dropUnfinished() {
  bytes_.resize(unfinishedStart_);
  count_ -= unfinishedFragments_;
  unfinishedFragments_ = 0;
  unfinishedBytes_ = 0;
}

// Delivered fragments go; the bytes move down once they are at least half of the buffer, so that a FIFO read in
// small steps does not move its bytes at every read.
void HeldFragments::forget(size_t end, uint32_t fragments) {
  start_ = end;
  count_ -= fragments;
  if (start_ < bytes_.size() / 2 && start_ != bytes_.size()) return;
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
  unfinishedStart_ -= start_;
  start_ = 0;
}

FrameDelivery::FrameDelivery(HeldFragments& held, std::span<uint8_t> buffer, uint32_t maxFrames)
    : held_(held), buffer_(buffer), maxFrames_(maxFrames), cursor_(held.start_) {}

DeliveryEnd FrameDelivery::deliver() {
  const uint8_t* const bytes = held_.bytes_.data();
  while (true) {
    if (maxFrames_ != 0 && frames_ == maxFrames_) return DeliveryEnd::CountReached;
    if (cursor_ == held_.unfinishedStart_) return DeliveryEnd::NeedMore;
    size_t end = cursor_, dataBytes = 0;
    uint32_t fragments = 0;
    bool continues = true;
    while (continues) {
      dataBytes += dataBytesAt(bytes + end);
      continues = continuesAt(bytes + end);
      end += kFragmentHeadBytes + dataBytesAt(bytes + end);
      ++fragments;
    }
    const size_t entryBytes = frameEntryBytes(dataBytes);
    if (entryBytes > buffer_.size() - used_) {
      if (frames_ > 0) return DeliveryEnd::BufferFull;
      entryTooLarge_ = entryBytes;
      return DeliveryEnd::FrameTooLarge;
    }
    uint8_t* entry = buffer_.data() + used_;
    putLittleEndian(entry, static_cast<uint32_t>(entryBytes), 4);
    putLittleEndian(entry + 4, static_cast<uint32_t>(dataBytes), 2);
    putLittleEndian(entry + 6, 0, 2);
    uint8_t* data = entry + kFrameHeadBytes;
    for (size_t fragment = cursor_; fragment < end; fragment += kFragmentHeadBytes + dataBytesAt(bytes + fragment)) {
      const size_t length = dataBytesAt(bytes + fragment);
      std::memcpy(data, bytes + fragment + kFragmentHeadBytes, length);
      data += length;
    }
    std::fill(data, entry + entryBytes, uint8_t{0});
    used_ += entryBytes;
    ++frames_;
    fragmentsPassed_ += fragments;
    cursor_ = end;
  }
}

void FrameDelivery::commit() {
  held_.forget(cursor_, fragmentsPassed_);
  fragmentsPassed_ = 0;
}

}  // namespace qor::ethernet
