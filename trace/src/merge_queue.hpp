// The records of several channels on their way into the trace in time order. Each channel's rounds are in time
// order; a watermark that advances a fixed step of trace time per release lets out everything at or below it, so
// records of different channels leave in time order as long as each channel delivers before the watermark passes
// its time stamps. A record that arrives later leaves in the next release, behind later ones. Not locked: the
// trace's merge-queue lock covers every call.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "trace_entry.hpp"

namespace qor::trace {

class MergeQueue {
 public:
  // Equal time stamps keep the order in which they came.
  void add(const std::multimap<uint64_t, SharedEntry>& batch) { queue_.insert(batch.begin(), batch.end()); }

  // The first call only sets the watermark to the oldest record waiting (nothing leaves); each later one advances it
  // by step and returns the records at or below it, oldest first.
  std::vector<SharedEntry> release(uint64_t step);
  // Everything waiting, oldest first; the watermark starts over.
  std::vector<SharedEntry> drain();
  void clear();

  size_t size() const { return queue_.size(); }

 private:
  std::multimap<uint64_t, SharedEntry> queue_;
  std::optional<uint64_t> watermark_;  // a time stamp of 0 is a real one, so "not set" is its own state
};

}  // namespace qor::trace
