#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "monitors/monitor_ring.hpp"

namespace {

using qor::client::MonitorRing;

// The reference: a byte queue of bounded size that drops whole blocks that do not fit.
struct Reference {
  size_t capacity;
  std::deque<uint8_t> bytes;
  bool lost = false;
  void write(const std::vector<uint8_t>& block) {
    if (block.size() > capacity - bytes.size()) {
      lost = true;
      return;
    }
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
};

TEST(MonitorRing, MatchesAByteQueueThroughWrapsAndLosses) {
  std::mt19937 random(11);
  for (size_t size : {1u, 7u, 64u, 1000u}) {
    SCOPED_TRACE(size);
    MonitorRing ring(size);
    Reference reference{size, {}, false};
    uint8_t next = 0;
    for (int step = 0; step < 20000; ++step) {
      const unsigned action = random() % 4;
      if (action < 2) {
        std::vector<uint8_t> block(random() % (size / 2 + 2));
        for (uint8_t& byte : block) byte = next++;
        ring.write(block.data(), block.size());
        reference.write(block);
      } else if (action == 2) {
        std::vector<uint8_t> out(ring.used());
        ASSERT_EQ(ring.used(), reference.bytes.size());
        EXPECT_EQ(ring.readAll(out.data()), reference.lost);
        EXPECT_EQ(out, std::vector<uint8_t>(reference.bytes.begin(), reference.bytes.end()));
        reference.bytes.clear();
        reference.lost = false;
      } else {
        const size_t item = 1 + random() % 8;
        const size_t capacity = random() % (size + 8);
        std::vector<uint8_t> out(capacity);
        bool lost = false, more = false;
        const size_t count = ring.readItems(item, capacity, out.data(), lost, more);
        const size_t taken = std::min(reference.bytes.size() / item, capacity / item) * item;
        ASSERT_EQ(count * item, taken);
        EXPECT_TRUE(std::equal(reference.bytes.begin(), reference.bytes.begin() + static_cast<long>(taken), out.begin()));
        reference.bytes.erase(reference.bytes.begin(), reference.bytes.begin() + static_cast<long>(taken));
        EXPECT_EQ(lost, reference.lost);
        reference.lost = false;
        EXPECT_EQ(more, !reference.bytes.empty());
      }
    }
  }
}

TEST(MonitorRing, WholeItemsStayTogether) {
  MonitorRing ring(64);
  const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ring.write(data, sizeof data);
  uint8_t out[64];
  bool lost = true, more = false;
  EXPECT_EQ(ring.readItems(8, sizeof out, out, lost, more), 1u);
  EXPECT_FALSE(lost);
  EXPECT_TRUE(more); // two bytes of the next item stay
  EXPECT_EQ(ring.used(), 2u);
}

} // namespace
