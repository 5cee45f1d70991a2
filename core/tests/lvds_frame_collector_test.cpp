// The chunk collector of LVDS frame data on its own: chunks in order, lost, repeated or lying, a new frame that
// begins early, and frames that stay unchanged while the reader holds them.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "lvds/lvds_frame_collector.hpp"
#include "qor_lvds_frames.h"
#include "qor_protocol.h"

namespace {

using qor::client::FrameCollector;
using Outcome = FrameCollector::Outcome;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

// The parameters of one frame-data answer: the head as given, and `carried` bytes behind it.
Bytes chunk(uint32_t offset, uint32_t length, uint32_t total, const uint8_t* bytes, size_t carried) {
  LvdsFrameChunk head{QOR_LVDS_FRAME_DATA, {0, 0, 0}, length, offset, total};
  Bytes parameters(sizeof head + carried);
  memcpy(parameters.data(), &head, sizeof head);
  if (carried != 0) memcpy(parameters.data() + sizeof head, bytes, carried);
  return parameters;
}

// A truthful chunk of frame.
Bytes chunkOf(const Bytes& frame, uint32_t offset, uint32_t length) {
  return chunk(offset, length, static_cast<uint32_t>(frame.size()), frame.data() + offset, length);
}

// Adds every chunk of frame in order; the outcome of the last.
Outcome addFrame(FrameCollector& collector, const Bytes& frame, uint32_t chunkSize) {
  Outcome last = Outcome::Dropped;
  for (uint32_t offset = 0; offset < frame.size(); offset += chunkSize) {
    last = collector.add(chunkOf(frame, offset, std::min<uint32_t>(chunkSize, frame.size() - offset)));
  }
  return last;
}

Bytes taken(FrameCollector& collector) {
  const auto frame = collector.take();
  if (!frame) return {};
  return Bytes(frame->begin(), frame->end());
}

TEST(FrameCollector, AFullHdFrameCompletesWithItsLastChunk) {
  const Bytes frame = pattern(1920 * 1080 * 3, 3);
  constexpr uint32_t kChunk = 32000;
  FrameCollector collector;
  size_t chunks = 0;
  for (uint32_t offset = 0; offset < frame.size(); offset += kChunk) {
    const uint32_t length = std::min<uint32_t>(kChunk, frame.size() - offset);
    const bool last = offset + length == frame.size();
    ASSERT_EQ(collector.add(chunkOf(frame, offset, length)), last ? Outcome::Completed : Outcome::Added) << offset;
    EXPECT_EQ(collector.hasFrame(), last);
    ++chunks;
  }
  EXPECT_EQ(chunks, 195u);
  EXPECT_EQ(collector.lastFrameLength(), frame.size());
  EXPECT_EQ(taken(collector), frame);
  EXPECT_EQ(collector.counters().completedFrames, 1u);
}

// Frames A and B of 30 bytes in chunks of 10; each step sends one chunk of one of them.
struct Step {
  char frame;
  uint32_t offset;
};

struct StreamCase {
  const char* name;
  std::vector<Step> steps;
  char delivered; // the frame taken at the end, 0 for none
  uint64_t droppedFrames;
};

TEST(FrameCollector, AFrameIsDeliveredOnlyWhenAllItsChunksCameInOrder) {
  const Bytes a = pattern(30, 1);
  const Bytes b = pattern(30, 100);
  const StreamCase cases[] = {
      {"in order", {{'a', 0}, {'a', 10}, {'a', 20}}, 'a', 0},
      {"a chunk lost", {{'a', 0}, {'a', 20}}, 0, 1},
      {"a chunk lost, then a whole frame", {{'a', 0}, {'a', 20}, {'b', 0}, {'b', 10}, {'b', 20}}, 'b', 1},
      {"a chunk twice", {{'a', 0}, {'a', 10}, {'a', 10}, {'a', 20}}, 0, 1},
      {"the first chunk lost", {{'a', 10}, {'a', 20}}, 0, 0},
      {"a new frame begins early", {{'a', 0}, {'a', 10}, {'b', 0}, {'b', 10}, {'b', 20}}, 'b', 1},
      {"the new frame's tail is not the old one's", {{'a', 0}, {'a', 10}, {'b', 0}, {'a', 20}}, 0, 2},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    FrameCollector collector;
    for (const Step& step : c.steps) collector.add(chunkOf(step.frame == 'a' ? a : b, step.offset, 10));
    EXPECT_EQ(collector.hasFrame(), c.delivered != 0);
    EXPECT_EQ(taken(collector), c.delivered == 0 ? Bytes{} : c.delivered == 'a' ? a : b);
    EXPECT_EQ(collector.counters().droppedFrames, c.droppedFrames);
  }
}

struct LyingCase {
  const char* name;
  Bytes parameters;
};

TEST(FrameCollector, SizesThatLieAreDroppedAndHarmNothing) {
  const Bytes bytes = pattern(64, 9);
  const Bytes frame = pattern(30, 50);
  Bytes wrongSubFunction = chunk(0, 10, 30, bytes.data(), 10);
  wrongSubFunction[0] = 12;
  const LyingCase cases[] = {
      {"shorter than its head", Bytes(sizeof(LvdsFrameChunk) - 1, 0)},
      {"another sub-function", wrongSubFunction},
      {"more bytes announced than carried", chunk(0, 40, 64, bytes.data(), 39)},
      {"a frame of no bytes", chunk(0, 0, 0, bytes.data(), 0)},
      {"a frame beyond the largest", chunk(0, 10, QOR_LVDS_MAX_FRAME_SIZE + 1, bytes.data(), 10)},
      {"a chunk beyond its frame", chunk(20, 20, 30, bytes.data(), 20)},
      {"an offset that wraps", chunk(0xFFFFFFF0u, 0x20, QOR_LVDS_MAX_FRAME_SIZE, bytes.data(), 0x20)},
  };
  for (const LyingCase& c : cases) {
    SCOPED_TRACE(c.name);
    FrameCollector collector;
    EXPECT_EQ(collector.add(c.parameters), Outcome::Dropped);
    EXPECT_FALSE(collector.hasFrame());
    EXPECT_EQ(collector.counters().droppedChunks, 1u);
    // Amid a frame it costs the frame nothing.
    collector.add(chunkOf(frame, 0, 10));
    EXPECT_EQ(collector.add(c.parameters), Outcome::Dropped);
    collector.add(chunkOf(frame, 10, 10));
    EXPECT_EQ(collector.add(chunkOf(frame, 20, 10)), Outcome::Completed);
    EXPECT_EQ(taken(collector), frame);
  }
}

TEST(FrameCollector, AFrameBeingReadStaysUnchangedWhileNewerOnesArrive) {
  FrameCollector collector;
  std::vector<Bytes> frames;
  for (uint8_t seed = 0; seed < 5; ++seed) frames.push_back(pattern(3000, seed * 40));
  std::set<const uint8_t*> buffers;

  ASSERT_EQ(addFrame(collector, frames[0], 1000), Outcome::Completed);
  const auto first = collector.take();
  ASSERT_TRUE(first);
  buffers.insert(first->data());
  ASSERT_EQ(addFrame(collector, frames[1], 1000), Outcome::Completed);
  ASSERT_EQ(addFrame(collector, frames[2], 700), Outcome::Completed);
  EXPECT_EQ(Bytes(first->begin(), first->end()), frames[0]);
  EXPECT_FALSE(collector.take()) << "one frame at a time";
  collector.release();

  // The newest frame waits; the one it superseded is gone.
  EXPECT_EQ(taken(collector), frames[2]);
  collector.release();
  for (size_t i = 3; i < frames.size(); ++i) {
    ASSERT_EQ(addFrame(collector, frames[i], 1000), Outcome::Completed);
    const auto frame = collector.take();
    ASSERT_TRUE(frame);
    buffers.insert(frame->data());
    EXPECT_EQ(Bytes(frame->begin(), frame->end()), frames[i]);
    collector.release();
  }
  EXPECT_LE(buffers.size(), 3u) << "buffers are reused";

  // A frame that waits can be dropped before a new capture.
  ASSERT_EQ(addFrame(collector, frames[0], 1000), Outcome::Completed);
  collector.discardFrame();
  EXPECT_FALSE(collector.hasFrame());
  EXPECT_FALSE(collector.take());
}

} // namespace
