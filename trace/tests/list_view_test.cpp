// The list view: the latest record per key with its time since the one it replaced, read in key order; and a round
// listed before it is stored reaches the swap file with its relative times.
#include <gtest/gtest.h>

#include "asc_files.hpp"
#include "asc_writer.hpp"
#include "entry_store.hpp"
#include "list_view.hpp"
#include "trace_export.hpp"
#include "trace_library.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;

SharedEntry frame(uint32_t channel, uint64_t time, uint32_t identifier) {
  return test::canFrame(channel, time, identifier, 0, {static_cast<uint8_t>(time)});
}

struct Read {
  uint32_t count;
  uint32_t size;
  std::vector<uint64_t> times;
  std::vector<uint64_t> relativeTimes;
};

Read read(const ListView& list, uint32_t start, uint32_t count, uint32_t capacity = 4096) {
  Bytes buffer(capacity);
  Read result{count, capacity, {}, {}};
  list.getItems(start, result.count, result.size, buffer.data());
  for (size_t offset = 0; offset < result.size; offset = (offset + fieldAt<uint32_t>(buffer, offset) + 7) / 8 * 8) {
    result.times.push_back(fieldAt<uint64_t>(buffer, offset + 8));
    result.relativeTimes.push_back(fieldAt<uint64_t>(buffer, offset + 16));
  }
  return result;
}

ListView fourKeys() {
  ListView list;
  list.update({{{1, 0x20}, frame(1, 100, 0x20)}, {{2, 0x10}, frame(2, 110, 0x10)}});
  list.update({{{1, 0x10}, frame(1, 200, 0x10)}, {{1, 0x20}, frame(1, 350, 0x20)}, {{2, 0x05}, frame(2, 360, 0x05)}});
  return list;
}

TEST(ListView, TheLatestRecordPerKeyWithItsTimeSinceTheOneBefore) {
  const ListView list = fourKeys();
  ASSERT_EQ(list.size(), 4u);
  const Read all = read(list, 0, 0);
  EXPECT_EQ(all.count, 4u);
  EXPECT_EQ(all.times, (std::vector<uint64_t>{200, 350, 360, 110}));
  EXPECT_EQ(all.relativeTimes, (std::vector<uint64_t>{0, 250, 0, 0}));
}

TEST(ListView, ReadsFromAPositionInKeyOrder) {
  const ListView list = fourKeys();
  const struct {
    uint32_t start;
    uint32_t count;
    std::vector<uint64_t> times;
  } cases[] = {
      {2, 3, {360, 110}},  // more than remain: all from start
      {1, 2, {350, 360}},
      {4, 0, {}},
      {5, 0, {}},
  };
  for (const auto& c : cases) {
    const Read result = read(list, c.start, c.count);
    EXPECT_EQ(result.times, c.times) << c.start << " " << c.count;
    EXPECT_EQ(result.count, c.times.size());
  }
  try {
    read(list, 0, 0, 3 * 48 - 1);
    ADD_FAILURE() << "three records of 45 bytes need 144 bytes";
  } catch (const TraceException& error) {
    EXPECT_EQ(error.code(), 0x214000Au);
  }
}

TEST(ListView, ARoundListedBeforeItIsStoredIsSwappedWithItsRelativeTimes) {
  ListView list;
  EntryStore store("/tmp/list_view_swap");
  store.setMemoryLimit(1);
  for (uint64_t time : {1000, 1250, 1700}) {
    const SharedEntry entry = frame(1, time, 0x7);
    list.update({{{1, 0x7}, entry}});
    store.store(entry);
    store.checkMemory();
  }
  ASSERT_EQ(store.swappedCount(), 3u);
  TraceSnapshot snapshot = store.snapshot();
  exportToAsc(snapshot, kAscRelativeTimes, "/tmp/relative.asc", 0, 0);
  const std::vector<std::string> lines = test::recordLines("/tmp/relative.asc");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 12), "0.000000000 ");
  EXPECT_EQ(lines[1].substr(0, 12), "0.000000250 ");
  EXPECT_EQ(lines[2].substr(0, 12), "0.000000450 ");
}

}  // namespace
}  // namespace qor::trace
