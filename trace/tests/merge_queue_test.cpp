// The merge of several channels' rounds: the watermark starts at the oldest record waiting (a time stamp of 0
// included), releases in time order, takes latecomers in the next release and gives everything back on a drain.
#include <gtest/gtest.h>

#include "merge_queue.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

std::multimap<uint64_t, SharedEntry> batchAt(uint32_t channel, std::initializer_list<uint64_t> times) {
  std::multimap<uint64_t, SharedEntry> batch;
  for (uint64_t time : times) batch.emplace(time, test::canFrame(channel, time, channel, 0, {}));
  return batch;
}

std::vector<std::pair<uint32_t, uint64_t>> channelsAndTimes(const std::vector<SharedEntry>& entries) {
  std::vector<std::pair<uint32_t, uint64_t>> out;
  for (const SharedEntry& entry : entries) out.emplace_back(entry->channelId(), entry->timestamp());
  return out;
}

using Released = std::vector<std::pair<uint32_t, uint64_t>>;

TEST(MergeQueue, ReleasesChannelsInTimeOrderBehindTheWatermark) {
  MergeQueue queue;
  queue.add(batchAt(1, {0, 40, 120}));
  queue.add(batchAt(2, {20, 40, 60}));
  EXPECT_TRUE(queue.release(50).empty());  // the watermark is set at time 0, a real time stamp
  EXPECT_EQ(channelsAndTimes(queue.release(50)), (Released{{1, 0}, {2, 20}, {1, 40}, {2, 40}}));
  queue.add(batchAt(2, {30}));  // late: behind what left already
  EXPECT_EQ(channelsAndTimes(queue.release(50)), (Released{{2, 30}, {2, 60}}));
  EXPECT_EQ(channelsAndTimes(queue.drain()), (Released{{1, 120}}));
  EXPECT_EQ(queue.size(), 0u);
}

TEST(MergeQueue, WaitsForTheFirstRecordAndStartsOverAfterADrain) {
  MergeQueue queue;
  EXPECT_TRUE(queue.release(50).empty());
  queue.add(batchAt(1, {1000}));
  EXPECT_TRUE(queue.release(50).empty());
  EXPECT_EQ(channelsAndTimes(queue.release(50)), (Released{{1, 1000}}));
  queue.drain();
  queue.add(batchAt(1, {10}));
  EXPECT_TRUE(queue.release(50).empty());  // a new watermark at 10, not 1100
  EXPECT_EQ(channelsAndTimes(queue.release(50)), (Released{{1, 10}}));
}

TEST(MergeQueue, WatermarkStopsAtTheEndOfTime) {
  MergeQueue queue;
  queue.add(batchAt(1, {UINT64_MAX - 1}));
  queue.release(50);
  EXPECT_EQ(channelsAndTimes(queue.release(50)), (Released{{1, UINT64_MAX - 1}}));
}

}  // namespace
}  // namespace qor::trace
