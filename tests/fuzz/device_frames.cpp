// What the daemon does with the byte stream of an Ethernet device: the frame stream of its hardware thread, fed in
// chunks of varying sizes as TCP delivers them. Every step is checked against a reading of the whole stream at once:
// the same frames, skipped frames and loss of framing at the same places, whatever the chunks. Input: a byte that
// sets the caller's capacity, four bytes that seed the chunk sizes, then the stream.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "frame_stream.hpp"

namespace {

using qor::daemon::FrameStream;
using Step = FrameStream::Step;
using Bytes = std::span<const uint8_t>;

struct Event {
  Step step;
  uint64_t start;
  uint32_t length;
  bool operator==(const Event&) const = default;
};

void require(bool holds) {
  if (!holds) std::abort();
}

FirmwareMessageHeader headerAt(Bytes stream, size_t at) {
  FirmwareMessageHeader header;
  memcpy(&header, stream.data() + at, sizeof header);
  return header;
}

// The frames of stream from its byte start on, read at once, up to the first loss of framing.
std::vector<Event> readAtOnce(Bytes stream, size_t start, size_t capacity) {
  std::vector<Event> events;
  size_t at = start;
  while (stream.size() - at >= QOR_FRAME_HEADER_SIZE) {
    const FirmwareMessageHeader header = headerAt(stream, at);
    if (header.marker != QOR_FRAME_MARKER || header.length < QOR_FRAME_HEADER_SIZE) {
      events.push_back({Step::Lost, at, header.length});
      break;
    }
    if (header.length > capacity) {
      events.push_back({Step::Oversized, at, header.length});
    } else if (stream.size() - at >= header.length) {
      events.push_back({Step::Frame, at, header.length});
    } else {
      break;
    }
    at += header.length;
    if (at > stream.size()) break;
  }
  return events;
}

class ChunkSizes {
public:
  explicit ChunkSizes(uint32_t seed) : state_(seed | 1u) {}
  // Mostly small pieces, now and then a large one, as loopback and a busy device deliver them.
  size_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return 1 + (state_ % 8 == 0 ? state_ % 70000 : state_ % 40);
  }

private:
  uint32_t state_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const size_t capacity = data[0] == 0xFF ? QOR_FRAME_MAX_LENGTH : size_t{data[0]} * 16;
  uint32_t seed;
  memcpy(&seed, data + 1, sizeof seed);
  ChunkSizes chunks(seed);
  const Bytes stream(data + 5, size - 5);

  FrameStream frames;
  std::vector<Event> seen;
  size_t segmentStart = 0; // where the stream starts afresh after a loss of framing
  size_t fed = 0;
  while (fed < stream.size()) {
    const std::span<uint8_t> space = frames.freeSpace();
    require(!space.empty());
    const size_t count = std::min({chunks.next(), space.size(), stream.size() - fed});
    memcpy(space.data(), stream.data() + fed, count);
    require(frames.received(count));
    fed += count;
    for (;;) {
      const Step step = frames.next(capacity);
      require(!frames.inBody() || frames.inFrame());
      if (step == Step::Incomplete) break;
      const uint64_t start = frames.headerPosition();
      seen.push_back({step, start, frames.header().length});
      if (step == Step::Frame) {
        const Bytes frame = frames.frame();
        require(start + frame.size() <= fed);
        require(frame.size() <= capacity && frame.size() <= QOR_FRAME_MAX_LENGTH);
        require(frame.size() == headerAt(frame, 0).length);
        require(memcmp(frame.data(), stream.data() + start, frame.size()) == 0);
      }
      if (step == Step::Lost) {
        require(seen == readAtOnce(stream.first(fed), segmentStart, capacity));
        frames.drop();
        require(!frames.inFrame());
        segmentStart = fed;
        seen.clear();
        break;
      }
    }
  }
  require(seen == readAtOnce(stream, segmentStart, capacity));
  return 0;
}
