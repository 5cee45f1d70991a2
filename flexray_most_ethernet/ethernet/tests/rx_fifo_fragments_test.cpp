// Joining the receive FIFO's fragments into whole frames: hand-made fragment streams cut into answers at every
// fragment, cut inside a fragment, read into buffers that stop at every frame, and the frames that come out are
// always exactly the frames that went in.
#include "rx_fifo_fragments.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qor::ethernet {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes frameOf(size_t length, uint8_t seed) {
  Bytes frame(length);
  for (size_t index = 0; index < length; ++index) frame[index] = static_cast<uint8_t>(seed + index * 7);
  return frame;
}

struct Fragment {
  Bytes data;
  bool continues;
};

// A frame as the firmware cuts it: fragments of at most piece data bytes.
std::vector<Fragment> fragmentsOf(const Bytes& frame, size_t piece) {
  std::vector<Fragment> fragments;
  for (size_t offset = 0; offset < frame.size() || fragments.empty(); offset += piece) {
    const size_t length = std::min(piece, frame.size() - offset);
    fragments.push_back(
        {Bytes(frame.begin() + offset, frame.begin() + offset + length), offset + length < frame.size()});
  }
  return fragments;
}

Bytes layOut(const std::vector<Fragment>& fragments, size_t first, size_t end) {
  Bytes area;
  for (size_t index = first; index < end; ++index) {
    const Fragment& fragment = fragments[index];
    area.push_back(static_cast<uint8_t>(fragment.data.size()));
    area.push_back(static_cast<uint8_t>(fragment.data.size() >> 8));
    area.push_back(0xEE);  // unused by the host
    area.push_back(fragment.continues ? 0x01 : 0x00);
    area.insert(area.end(), fragment.data.begin(), fragment.data.end());
  }
  return area;
}

// The frames of entries in a caller's buffer, each entry's head checked.
std::vector<Bytes> framesIn(const Bytes& buffer, size_t used) {
  std::vector<Bytes> frames;
  for (size_t offset = 0; offset < used;) {
    const uint32_t entryBytes =
        buffer[offset] | buffer[offset + 1] << 8 | buffer[offset + 2] << 16 | buffer[offset + 3] << 24;
    const size_t dataBytes = buffer[offset + 4] | buffer[offset + 5] << 8;
    EXPECT_EQ(entryBytes, frameEntryBytes(dataBytes));
    EXPECT_EQ(buffer[offset + 6] | buffer[offset + 7], 0);
    frames.emplace_back(buffer.begin() + offset + 8, buffer.begin() + offset + 8 + dataBytes);
    for (size_t pad = offset + 8 + dataBytes; pad < offset + entryBytes; ++pad) EXPECT_EQ(buffer[pad], 0);
    offset += entryBytes;
  }
  return frames;
}

// Reads everything held with buffers of capacity bytes and at most maxFrames per read, as the application does.
std::vector<Bytes> drain(HeldFragments& held, size_t capacity, uint32_t maxFrames = 0) {
  std::vector<Bytes> frames;
  while (true) {
    Bytes buffer(capacity, 0xAA);
    FrameDelivery delivery(held, buffer, maxFrames);
    const DeliveryEnd end = delivery.deliver();
    EXPECT_NE(end, DeliveryEnd::FrameTooLarge);
    delivery.commit();
    const std::vector<Bytes> read = framesIn(buffer, delivery.bytes());
    EXPECT_EQ(read.size(), delivery.frames());
    frames.insert(frames.end(), read.begin(), read.end());
    if (end == DeliveryEnd::NeedMore || delivery.frames() == 0) return frames;
  }
}

class RxFifoFragments : public ::testing::Test {
 protected:
  // Five frames over fragments of at most 100 data bytes: a minimum frame, long ones over several fragments, an
  // empty fragment's frame and one that ends exactly at a fragment's end.
  RxFifoFragments() {
    const size_t lengths[] = {60, 350, 0, 1514, 200};
    for (size_t index = 0; index < std::size(lengths); ++index) {
      frames_.push_back(frameOf(lengths[index], static_cast<uint8_t>(index * 40)));
      for (Fragment& fragment : fragmentsOf(frames_.back(), 100)) fragments_.push_back(std::move(fragment));
    }
  }
  std::vector<Bytes> frames_;
  std::vector<Fragment> fragments_;
};

TEST_F(RxFifoFragments, AnswersCutAtEveryFragmentGiveTheFramesWhole) {
  for (size_t cut = 0; cut <= fragments_.size(); ++cut) {
    for (size_t capacity : {size_t{1524}, size_t{2000}, size_t{65536}}) {
      HeldFragments held;
      std::vector<Bytes> frames;
      const Bytes first = layOut(fragments_, 0, cut), second = layOut(fragments_, cut, fragments_.size());
      EXPECT_EQ(held.take(first, static_cast<uint32_t>(cut)), cut);
      for (Bytes& frame : drain(held, capacity)) frames.push_back(std::move(frame));
      held.take(second, static_cast<uint32_t>(fragments_.size() - cut));
      for (Bytes& frame : drain(held, capacity)) frames.push_back(std::move(frame));
      EXPECT_EQ(frames, frames_) << "cut before fragment " << cut << ", buffer " << capacity;
      EXPECT_EQ(held.count(), 0u) << cut;
    }
  }
}

TEST_F(RxFifoFragments, EveryFrameCountAndBufferEndLosesNothing) {
  const Bytes area = layOut(fragments_, 0, fragments_.size());
  for (uint32_t maxFrames = 0; maxFrames <= frames_.size(); ++maxFrames) {
    for (size_t capacity = 1524; capacity <= 4000; capacity += 61) {
      HeldFragments held;
      held.take(area, static_cast<uint32_t>(fragments_.size()));
      EXPECT_EQ(drain(held, capacity, maxFrames), frames_) << "frames " << maxFrames << ", buffer " << capacity;
    }
  }
}

TEST_F(RxFifoFragments, HeldFragmentsCountUntilTheirFrameGoes) {
  HeldFragments held;
  held.take(layOut(fragments_, 0, fragments_.size()), static_cast<uint32_t>(fragments_.size()));
  Bytes buffer(200);
  FrameDelivery delivery(held, buffer, 0);
  EXPECT_EQ(delivery.deliver(), DeliveryEnd::BufferFull);
  EXPECT_EQ(delivery.frames(), 1u);
  EXPECT_EQ(held.count(), fragments_.size()) << "nothing leaves before the commit";
  delivery.commit();
  EXPECT_EQ(held.count(), fragments_.size() - 1);
}

TEST(RxFifoFragmentCases, TheTextbookCases) {
  // Two fragments of 100 bytes, the first continuing: one entry of 208 bytes with 200 data bytes.
  HeldFragments held;
  const Bytes frame = frameOf(200, 1);
  held.take(layOut(fragmentsOf(frame, 100), 0, 2), 2);
  Bytes buffer(300);
  FrameDelivery joined(held, buffer, 0);
  EXPECT_EQ(joined.deliver(), DeliveryEnd::NeedMore);
  EXPECT_EQ(joined.bytes(), 208u);
  EXPECT_EQ(framesIn(buffer, joined.bytes()), std::vector<Bytes>{frame});

  // A buffer of 120 bytes and three frames of 100: one goes (108 bytes), two stay held.
  HeldFragments three;
  std::vector<Fragment> fragments;
  for (uint8_t seed : {1, 2, 3}) fragments.push_back({frameOf(100, seed), false});
  three.take(layOut(fragments, 0, 3), 3);
  Bytes small(120);
  FrameDelivery first(three, small, 0);
  EXPECT_EQ(first.deliver(), DeliveryEnd::BufferFull);
  EXPECT_EQ(first.bytes(), 108u);
  first.commit();
  EXPECT_EQ(three.count(), 2u);

  // At most one frame: one goes although more fit.
  Bytes large(1000);
  FrameDelivery one(three, large, 1);
  EXPECT_EQ(one.deliver(), DeliveryEnd::CountReached);
  EXPECT_EQ(one.frames(), 1u);
  one.commit();
  EXPECT_EQ(three.count(), 1u);
}

TEST(RxFifoFragmentCases, AFrameLargerThanTheBufferStaysForALargerOne) {
  HeldFragments held;
  const Bytes frame = frameOf(1514, 9);
  const std::vector<Fragment> fragments = fragmentsOf(frame, 500);
  held.take(layOut(fragments, 0, fragments.size()), static_cast<uint32_t>(fragments.size()));
  Bytes buffer(1000);
  FrameDelivery tooSmall(held, buffer, 0);
  EXPECT_EQ(tooSmall.deliver(), DeliveryEnd::FrameTooLarge);
  EXPECT_EQ(tooSmall.entryTooLarge(), 1524u);
  EXPECT_EQ(held.count(), fragments.size());
  EXPECT_EQ(drain(held, 1524), std::vector<Bytes>{frame});
}

TEST(RxFifoFragmentCases, AnAnswerCutShortKeepsItsWholeFramesAndDropsTheOneItCut) {
  const Bytes whole = frameOf(80, 1), cut = frameOf(300, 2), next = frameOf(64, 3);
  std::vector<Fragment> fragments = fragmentsOf(whole, 100);
  for (Fragment& fragment : fragmentsOf(cut, 100)) fragments.push_back(std::move(fragment));
  fragments.push_back(fragmentsOf(next, 100).front());
  const Bytes area = layOut(fragments, 0, 4);  // the first frame and the second one's first three fragments
  // Every cut of the answer: the fragments that did not arrive whole come with the next answer. A frame the cut
  // left unfinished is dropped, also what follows of it; one the cut did not reach comes whole.
  for (size_t length = 84; length < area.size(); length += 13) {
    HeldFragments held;
    const uint32_t arrived = held.take(std::span(area).first(length), 4);
    held.take(layOut(fragments, arrived, fragments.size()), static_cast<uint32_t>(fragments.size() - arrived));
    const std::vector<Bytes> expected =
        arrived == 1 ? std::vector<Bytes>{whole, cut, next} : std::vector<Bytes>{whole, next};
    EXPECT_EQ(drain(held, 4000), expected) << "answer cut at " << length;
  }
  // A count beyond the fragments: only those there are taken.
  HeldFragments counted;
  EXPECT_EQ(counted.take(layOut(fragmentsOf(whole, 100), 0, 1), 1000), 1u);
  EXPECT_EQ(counted.count(), 1u);
}

TEST(RxFifoFragmentCases, AFrameBeyondTheLargestIsDroppedWithAllItsFragments) {
  const Bytes before = frameOf(70, 1), after = frameOf(90, 2);
  std::vector<Fragment> fragments = fragmentsOf(before, 1000);
  for (size_t piece = 0; piece < 5; ++piece) fragments.push_back({frameOf(20000, 3), piece < 4});  // 100000 bytes
  fragments.push_back(fragmentsOf(after, 1000).front());
  HeldFragments held;
  // In answers of two fragments, so the long frame's rest comes after it was dropped.
  for (size_t first = 0; first < fragments.size(); first += 2) {
    const size_t end = std::min(first + 2, fragments.size());
    held.take(layOut(fragments, first, end), static_cast<uint32_t>(end - first));
  }
  EXPECT_TRUE(held.takeOverlongDrop());
  EXPECT_FALSE(held.takeOverlongDrop());
  EXPECT_EQ(drain(held, 4000), (std::vector<Bytes>{before, after}));
}

}  // namespace
}  // namespace qor::ethernet
