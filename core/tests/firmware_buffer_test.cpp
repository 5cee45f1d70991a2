#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "async/firmware_buffer.hpp"

namespace {

using qor::client::FirmwareBuffer;

struct ReadBack {
  uint32_t id;
  bool dataLost;
};

// Frames carry their sequence number in their first four bytes.
void writeFrame(FirmwareBuffer& buffer, uint32_t id, size_t length) {
  std::vector<uint8_t> data(std::max<size_t>(length, 4), static_cast<uint8_t>(id));
  memcpy(data.data(), &id, sizeof id);
  buffer.write(0x42, 1, data.data(), data.size());
}

ReadBack readFrame(FirmwareBuffer& buffer) {
  const FirmwareBuffer::Record record = buffer.oldest();
  std::vector<uint8_t> data(record.length);
  buffer.takeOldest(data.data());
  EXPECT_EQ(record.command, 0x42);
  EXPECT_EQ(record.type, 1);
  uint32_t id = 0;
  memcpy(&id, data.data(), sizeof id);
  for (size_t i = 4; i < data.size(); ++i) EXPECT_EQ(data[i], static_cast<uint8_t>(id)) << "frame " << id << " torn";
  return {id, record.dataLost};
}

TEST(FirmwareBuffer, KeepsFramesInOrderAndMarksEveryLoss) {
  std::mt19937 random(7);
  for (size_t blockSize : {24u, 64u, 100u, 257u, 1000u}) {
    SCOPED_TRACE(blockSize);
    FirmwareBuffer buffer(blockSize);
    std::vector<uint32_t> lostAfter; // ids that went unread while newer ones were kept
    uint32_t nextId = 1;
    uint32_t lastRead = 0;
    for (int step = 0; step < 20000; ++step) {
      if (random() % 3 != 0) {
        writeFrame(buffer, nextId++, random() % (blockSize / 2 + 8));
        continue;
      }
      if (buffer.empty()) continue;
      const ReadBack got = readFrame(buffer);
      ASSERT_GT(got.id, lastRead) << "frames come back oldest first, never twice";
      ASSERT_LT(got.id, nextId);
      for (uint32_t skipped = lastRead + 1; skipped < got.id; ++skipped) lostAfter.push_back(skipped);
      // Every frame that went unread is reported by a mark on a newer frame: a reader that saw no mark since a gap
      // may not go on reading past the frame that caused the gap.
      if (got.dataLost) lostAfter.clear();
      lastRead = got.id;
    }
    while (!buffer.empty()) {
      const ReadBack got = readFrame(buffer);
      ASSERT_GT(got.id, lastRead);
      for (uint32_t skipped = lastRead + 1; skipped < got.id; ++skipped) lostAfter.push_back(skipped);
      if (got.dataLost) lostAfter.clear();
      lastRead = got.id;
    }
    EXPECT_TRUE(lostAfter.empty()) << lostAfter.size() << " frames lost without a mark";
  }
}

TEST(FirmwareBuffer, ReadersThatKeepUpLoseNothing) {
  FirmwareBuffer buffer(256);
  for (uint32_t id = 1; id <= 1000; ++id) {
    writeFrame(buffer, id, 30 + id % 40);
    const ReadBack got = readFrame(buffer);
    EXPECT_EQ(got.id, id);
    EXPECT_TRUE(buffer.empty());
  }
}

TEST(FirmwareBuffer, EdgeCases) {
  FirmwareBuffer buffer(100);
  // A frame larger than the whole buffer is dropped; the newest stored record carries the mark.
  writeFrame(buffer, 1, 10);
  writeFrame(buffer, 2, 200);
  ReadBack got = readFrame(buffer);
  EXPECT_EQ(got.id, 1u);
  EXPECT_TRUE(got.dataLost);
  EXPECT_TRUE(buffer.empty());
  // Dropped while empty: the next stored record carries it.
  writeFrame(buffer, 3, 200);
  writeFrame(buffer, 4, 10);
  got = readFrame(buffer);
  EXPECT_EQ(got.id, 4u);
  EXPECT_TRUE(got.dataLost);
  // The first record written at the start after the write position wrapped carries the mark (here it also
  // replaced the oldest record).
  writeFrame(buffer, 5, 40); // bytes 0 to 60
  writeFrame(buffer, 6, 10); // bytes 60 to 90
  writeFrame(buffer, 7, 10); // no room before the end: wraps over frame 5
  got = readFrame(buffer);
  EXPECT_EQ(got.id, 6u);
  EXPECT_FALSE(got.dataLost);
  got = readFrame(buffer);
  EXPECT_EQ(got.id, 7u);
  EXPECT_TRUE(got.dataLost);
  EXPECT_TRUE(buffer.empty());
  // An empty frame is a record of its own.
  buffer.write(7, 2, nullptr, 0);
  EXPECT_EQ(buffer.oldest().length, 0u);
  EXPECT_EQ(buffer.oldest().type, 2);
}

} // namespace
