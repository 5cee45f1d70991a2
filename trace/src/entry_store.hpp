// The trace in time order: the newest records in memory, the older ones in the swap file. Global index i below the
// swapped count lies in the file, the others in memory at i minus the swapped count. At the memory limit the records
// in memory either move to the swap file or, with the drop policy, lose their older half.
// Not locked: the trace's store lock covers every call (the snapshot's reads need no lock afterwards).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "asc_writer.hpp"
#include "swap_file.hpp"
#include "trace_entry.hpp"

namespace qor::trace {

// What an export writes: the swapped records through their own reader, then the records that were in memory. Taken
// under the store lock, read without it; records stored later are not part of it.
struct TraceSnapshot {
  SwapReader swapped;
  std::vector<SharedEntry> held;

  // Calls write(entry) for every record, oldest first.
  template <class Write>
  void forEach(Write&& write) {
    while (swapped.remaining() > 0) write(*swapped.next());
    for (const SharedEntry& entry : held) write(*entry);
  }
};

class EntryStore {
 public:
  // swapStem: the swap file's name without ".bin" (see SwapFile).
  explicit EntryStore(const std::string& swapStem) : swap_(swapStem) {}

  void setMemoryLimit(uint32_t limit) { memoryLimit_ = limit; }
  void setDropOldestHalf(bool drop) { dropOldestHalf_ = drop; }

  // Appends the record, and writes its line to the live ASC file while one runs.
  void store(SharedEntry entry);
  // Live ASC output: every record stored from now on also goes to writer.
  void startLiveOutput(std::unique_ptr<AscWriter> writer);
  // Completes the live file. 0, or the code of the first failure of the live output (recorded when it happened;
  // the output stopped there while recording went on).
  uint32_t endLiveOutput();
  // Applies the memory limit. A swap that fails keeps the records in memory and throws its file error.
  void checkMemory();

  uint64_t swappedCount() const { return swap_.records(); }
  uint64_t total() const { return swap_.records() + held_.size(); }

  // Copies records from global index start into buffer, each at the next multiple of 8, with relativeTimestamp 0.
  // count: in at most this many (0 for all), out the records copied; size: in the buffer's capacity, out the bytes
  // used. A record that does not fit throws 0x214000A with count and size telling what was copied before it.
  void getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer);

  // Discards the whole trace.
  void flush();

  TraceSnapshot snapshot() const { return {swap_.reader(), {held_.begin(), held_.end()}}; }

  const std::string& swapPath() const { return swap_.path(); }

 private:
  std::deque<SharedEntry> held_;
  SwapFile swap_;
  std::unique_ptr<AscWriter> live_;
  uint32_t liveFailure_ = 0;
  uint32_t memoryLimit_ = 0;
  bool dropOldestHalf_ = false;
};

}  // namespace qor::trace
