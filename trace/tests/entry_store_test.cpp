// The entry store: records in memory and in the swap file under one global index, the memory limit's two policies,
// reads into a caller's buffer, flushes, and a swap file that the disk or another trace gets in the way of.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "asc_files.hpp"
#include "entry_store.hpp"
#include "trace_library.hpp"
#include "trace_records.hpp"

namespace qor::trace {
namespace {

using test::Bytes;

uint64_t fileSize(const std::string& path) { return std::filesystem::file_size(path); }

// Records of 44 + (index % 3) bytes at time stamps 1000 + index, each with a relative time stamp set.
SharedEntry numbered(uint32_t index) {
  SharedEntry entry = test::canFrame(1, 1000 + index, index, 0, Bytes(index % 3, static_cast<uint8_t>(index)));
  entry->setRelativeTimestamp(*entry, *test::canFrame(1, 1, 0, 0, {}));
  return entry;
}

class EntryStoreTest : public ::testing::Test {
 protected:
  void storeRound(uint32_t first, uint32_t count) {
    for (uint32_t index = first; index < first + count; ++index) store_.store(numbered(index));
    store_.checkMemory();
  }

  // The time stamps of the records read from start, each checked against its numbered original.
  std::vector<uint64_t> read(uint32_t start, uint32_t count = 0) {
    Bytes buffer(1 << 16, 0xCC);
    uint32_t size = static_cast<uint32_t>(buffer.size());
    store_.getItems(start, count, size, buffer.data());
    std::vector<uint64_t> times;
    for (size_t offset = 0; offset < size; offset = (offset + fieldAt<uint32_t>(buffer, offset) + 7) / 8 * 8) {
      const auto record = std::span<const uint8_t>(buffer).subspan(offset, fieldAt<uint32_t>(buffer, offset));
      const SharedEntry original = numbered(static_cast<uint32_t>(fieldAt<uint64_t>(record, 8) - 1000));
      EXPECT_EQ(fieldAt<uint64_t>(record, 16), 0u) << "relative time stamps read back as 0";
      EXPECT_TRUE(std::equal(record.begin() + 24, record.end(), original->record().begin() + 24));
      times.push_back(fieldAt<uint64_t>(record, 8));
    }
    EXPECT_EQ(times.size(), count);
    return times;
  }

  static std::vector<uint64_t> times(uint64_t first, uint64_t last) {
    std::vector<uint64_t> all;
    for (uint64_t time = first; time <= last; ++time) all.push_back(time);
    return all;
  }

  EntryStore store_{"/tmp/entry_store_test"};
};

TEST_F(EntryStoreTest, WithLimitOneEveryRoundGoesToTheSwapFileAndReadsBackFromIt) {
  store_.setMemoryLimit(1);
  storeRound(0, 3);
  storeRound(3, 2);
  EXPECT_EQ(store_.swappedCount(), 5u);
  EXPECT_EQ(store_.total(), 5u);
  EXPECT_EQ(store_.swapPath(), "/tmp/entry_store_test.bin");
  EXPECT_EQ(read(0), times(1000, 1004));
}

TEST_F(EntryStoreTest, OneIndexRunsAcrossTheFileAndMemory) {
  store_.setMemoryLimit(4);
  storeRound(0, 4);  // swapped
  storeRound(4, 3);  // held
  ASSERT_EQ(store_.swappedCount(), 4u);
  EXPECT_EQ(read(2), times(1002, 1006));
  EXPECT_EQ(read(5), times(1005, 1006));
  EXPECT_EQ(read(3, 2), times(1003, 1004));
  EXPECT_TRUE(read(7).empty());
  EXPECT_TRUE(read(8).empty());
}

TEST_F(EntryStoreTest, TheDropPolicyDiscardsTheOlderHalf) {
  store_.setMemoryLimit(5);
  store_.setDropOldestHalf(true);
  storeRound(0, 5);
  EXPECT_EQ(store_.swappedCount(), 0u);
  EXPECT_EQ(read(0), times(1002, 1004));
}

TEST_F(EntryStoreTest, ABufferTakesRecordsUpToTheAlignedEndOfTheLast) {
  store_.setMemoryLimit(2);
  storeRound(0, 2);  // 44 and 45 bytes, in the file
  storeRound(2, 1);  // 46 bytes, in memory
  const uint32_t exact = 48 + 48 + 48;
  for (const bool swappedLast : {false, true}) {
    Bytes buffer(exact);
    uint32_t count = swappedLast ? 2 : 0;
    uint32_t size = swappedLast ? 96 : exact;
    store_.getItems(0, count, size, buffer.data());
    EXPECT_EQ(count, swappedLast ? 2u : 3u);
    EXPECT_EQ(size, swappedLast ? 96u : exact);

    count = 0;
    size = swappedLast ? 95 : exact - 1;
    try {
      store_.getItems(0, count, size, buffer.data());
      ADD_FAILURE() << "a buffer one byte short is refused";
    } catch (const TraceException& error) {
      EXPECT_EQ(error.code(), 0x214000Au);
      EXPECT_EQ(count, swappedLast ? 1u : 2u);
      EXPECT_EQ(size, swappedLast ? 48u : 96u);
    }
  }
}

TEST_F(EntryStoreTest, AFlushStartsOverWhileASnapshotKeepsWhatItWasGiven) {
  store_.setMemoryLimit(2);
  storeRound(0, 3);
  storeRound(3, 1);
  TraceSnapshot snapshot = store_.snapshot();
  store_.flush();
  EXPECT_EQ(store_.total(), 0u);
  EXPECT_FALSE(std::filesystem::exists("/tmp/entry_store_test.bin"));
  storeRound(10, 2);
  EXPECT_EQ(read(0), times(1010, 1011));

  std::vector<uint64_t> seen;
  snapshot.forEach([&](const TraceEntry& entry) { seen.push_back(entry.timestamp()); });
  EXPECT_EQ(seen, times(1000, 1003));
}

TEST_F(EntryStoreTest, TracesThatShareAStemKeepSwapFilesOfTheirOwn) {
  { std::ofstream stale("/tmp/entry_store_test.bin"); stale << "left by a process that died"; }
  EntryStore second("/tmp/entry_store_test");
  store_.setMemoryLimit(1);
  second.setMemoryLimit(1);
  storeRound(0, 2);
  second.store(numbered(7));
  second.checkMemory();
  EXPECT_EQ(store_.swapPath(), "/tmp/entry_store_test_1.bin");
  EXPECT_EQ(second.swapPath(), "/tmp/entry_store_test_2.bin");
  EXPECT_EQ(read(0), times(1000, 1001));
  EXPECT_EQ(fileSize("/tmp/entry_store_test.bin"), 27u);
}

TEST_F(EntryStoreTest, ARelativeStemStaysInTheDirectoryWhereTheStoreWasMade) {
  ASSERT_EQ(chdir("/tmp"), 0);
  EntryStore relative("relative_stem");
  ASSERT_EQ(chdir("/"), 0);
  relative.setMemoryLimit(1);
  relative.store(numbered(1));
  relative.checkMemory();
  EXPECT_EQ(relative.swapPath(), "/tmp/relative_stem.bin");
  EXPECT_EQ(fileSize("/tmp/relative_stem.bin"), 45u);
}

TEST_F(EntryStoreTest, ASwapThatFailsKeepsItsRecordsInMemoryAndTheFileWhole) {
  signal(SIGXFSZ, SIG_IGN);
  store_.setMemoryLimit(10);
  storeRound(0, 10);
  const uint64_t swappedBytes = fileSize(store_.swapPath());
  // The disk is full after 200 more bytes: the next round of 10 records does not fit.
  const rlimit full{swappedBytes + 200, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  try {
    storeRound(10, 10);
    ADD_FAILURE() << "the failed swap is reported";
  } catch (const TraceException& error) {
    EXPECT_EQ(error.code(), 0x2140007u);
  }
  EXPECT_EQ(store_.swappedCount(), 10u);
  EXPECT_EQ(fileSize(store_.swapPath()), swappedBytes);
  EXPECT_EQ(read(0), times(1000, 1019));

  const rlimit room{RLIM_INFINITY, RLIM_INFINITY};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &room), 0);
  store_.checkMemory();
  EXPECT_EQ(store_.swappedCount(), 20u);
  EXPECT_EQ(read(0), times(1000, 1019));
}

TEST_F(EntryStoreTest, ACorruptSwapFileIsAFileErrorNotARead) {
  store_.setMemoryLimit(1);
  storeRound(0, 2);
  storeRound(2, 1);  // the store counts three records in the file; each case damages the third
  const std::string path = store_.swapPath();
  const struct {
    const char* what;
    Bytes third;
  } cases[] = {
      {"length 0", test::le(0, 4)},
      {"length past the largest record", test::le(QOR_TRACE_ENTRY_MAX_LENGTH + 1, 4)},
      {"cut record", test::join({test::le(46, 4), Bytes(10)})},
      {"LIN record of 44 bytes", test::join({test::le(44, 4), Bytes(20), test::le(1, 4), Bytes(16)})},
  };
  for (const auto& c : cases) {
    std::filesystem::resize_file(path, 44 + 45);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(c.third.data()), static_cast<std::streamsize>(c.third.size()));
    Bytes buffer(4096);
    uint32_t count = 0;
    uint32_t size = static_cast<uint32_t>(buffer.size());
    try {
      store_.getItems(0, count, size, buffer.data());
      ADD_FAILURE() << c.what;
    } catch (const TraceException& error) {
      EXPECT_EQ(error.code(), 0x2140007u) << c.what;
      EXPECT_EQ(count, 2u) << c.what;
      EXPECT_EQ(size, 96u) << c.what;
    }
  }
}

TEST_F(EntryStoreTest, LiveOutputWritesEveryStoredRecordUntilItEnds) {
  store_.startLiveOutput(std::make_unique<AscWriter>(kAscSplit, "/tmp/live.asc", 0, 524288000));
  storeRound(0, 3);
  EXPECT_EQ(store_.endLiveOutput(), 0u);
  storeRound(3, 1);
  const std::vector<std::string> lines = test::recordLines("/tmp/live.asc");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(0, 12), "0.000001002 ");
}

TEST_F(EntryStoreTest, LiveOutputOnAFullDiskStopsWhileRecordingGoesOn) {
  store_.startLiveOutput(std::make_unique<AscWriter>(0, "/dev/full", 0, 0));
  storeRound(0, 3000);  // more text than the writer keeps before it writes
  EXPECT_EQ(store_.total(), 3000u);
  EXPECT_EQ(store_.endLiveOutput(), 0x2140007u);
  EXPECT_EQ(store_.endLiveOutput(), 0u);
}

}  // namespace
}  // namespace qor::trace
