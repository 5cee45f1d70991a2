#include "lvds/lvds_frame_collector.hpp"

#include <cstring>
#include <new>

#include "qor_lvds_frames.h"
#include "qor_protocol.h"

namespace qor::client {

FrameCollector::Outcome FrameCollector::add(std::span<const uint8_t> parameters) {
  LvdsFrameChunk chunk;
  if (parameters.size() < sizeof chunk) return drop();
  memcpy(&chunk, parameters.data(), sizeof chunk);
  const std::span<const uint8_t> bytes = parameters.subspan(sizeof chunk);
  // Every size is the sender's word: checked against the bytes that arrived and against the frame, in 64 bits.
  if (chunk.subFunction != QOR_LVDS_FRAME_DATA || chunk.chunkLength > bytes.size() || chunk.totalSize == 0 ||
      chunk.totalSize > QOR_LVDS_MAX_FRAME_SIZE || uint64_t{chunk.offset} + chunk.chunkLength > chunk.totalSize) {
    return drop();
  }
  if (chunk.offset == 0) {
    if (inProgress_) abandonFrame();
    if (!beginFrame(chunk.totalSize)) return drop();
  } else if (!inProgress_ || chunk.totalSize != total_ || chunk.offset != nextOffset_) {
    // A chunk went missing or came twice: the frame would hold stale bytes.
    if (inProgress_) abandonFrame();
    return drop();
  }
  if (chunk.chunkLength != 0) memcpy(buffers_[filling_].bytes.get() + chunk.offset, bytes.data(), chunk.chunkLength);
  nextOffset_ += chunk.chunkLength;
  if (nextOffset_ < total_) return Outcome::Added;
  completeFrame();
  return Outcome::Completed;
}

std::optional<std::span<uint8_t>> FrameCollector::take() {
  if (ready_ == kNone || taken_ != kNone) return std::nullopt;
  taken_ = ready_;
  ready_ = kNone;
  Buffer& buffer = buffers_[taken_];
  return std::span<uint8_t>(buffer.bytes.get(), buffer.length);
}

void FrameCollector::release() { taken_ = kNone; }

bool FrameCollector::beginFrame(uint32_t total) {
  Buffer& buffer = buffers_[filling_];
  if (buffer.capacity < total) {
    // Grows once per larger frame size; the bytes need no initialising, every one is written before it is read.
    buffer.bytes.reset(new (std::nothrow) uint8_t[total]);
    buffer.capacity = buffer.bytes ? total : 0;
    if (!buffer.bytes) return false;
  }
  total_ = total;
  nextOffset_ = 0;
  inProgress_ = true;
  return true;
}

void FrameCollector::abandonFrame() {
  inProgress_ = false;
  ++counters_.droppedFrames;
}

void FrameCollector::completeFrame() {
  inProgress_ = false;
  buffers_[filling_].length = total_;
  lastFrameLength_ = total_;
  ++counters_.completedFrames;
  // The frame that waited untaken is superseded: its buffer fills next; else the one that is neither waiting nor
  // taken does.
  const int superseded = ready_;
  ready_ = filling_;
  if (superseded != kNone) {
    filling_ = superseded;
    return;
  }
  for (int i = 0; i < static_cast<int>(buffers_.size()); ++i) {
    if (i != ready_ && i != taken_) {
      filling_ = i;
      return;
    }
  }
}

FrameCollector::Outcome FrameCollector::drop() {
  ++counters_.droppedChunks;
  return Outcome::Dropped;
}

} // namespace qor::client
