#include "entry_store.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "record_packer.hpp"
#include "trace_library.hpp"

namespace qor::trace {
namespace {

void copyWithoutRelativeTime(RecordPacker& packer, const TraceEntry& entry, uint32_t& count) {
  packer.add(entry.record());
  std::memset(packer.last() + offsetof(Qor_Trace_Entry_t, relativeTimestamp), 0, sizeof(uint64_t));
  ++count;
}

}  // namespace

void EntryStore::store(SharedEntry entry) {
  held_.push_back(std::move(entry));
  if (!live_) return;
  try {
    live_->writeEntry(*held_.back());
  } catch (const TraceException& failure) {
    // A full disk must not stop the recording; the live file ends here.
    liveFailure_ = failure.code();
    live_.reset();
  }
}

void EntryStore::startLiveOutput(std::unique_ptr<AscWriter> writer) {
  live_ = std::move(writer);
  liveFailure_ = 0;
}

uint32_t EntryStore::endLiveOutput() {
  if (live_) {
    try {
      live_->finish();
    } catch (const TraceException& failure) {
      if (liveFailure_ == 0) liveFailure_ = failure.code();
    }
    live_.reset();
  }
  return std::exchange(liveFailure_, 0);
}

void EntryStore::checkMemory() {
  if (memoryLimit_ > held_.size()) return;
  if (dropOldestHalf_) {
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(held_.size() / 2));
    return;
  }
  swap_.append(held_);
  held_.clear();
}

void EntryStore::getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer) {
  const uint64_t available = total();
  if (start > available) {
    count = 0;
    size = 0;
    return;
  }
  const uint64_t limit =
      count != 0 ? count : std::min<uint64_t>(available - start, std::numeric_limits<uint32_t>::max());
  RecordPacker packer(buffer, size);
  count = 0;
  try {
    const uint64_t swapped = swap_.records();
    if (start < swapped) {
      SwapReader reader = swap_.reader();
      reader.skip(start);
      while (count < limit && reader.remaining() > 0) copyWithoutRelativeTime(packer, *reader.next(), count);
    }
    for (uint64_t position = start > swapped ? start - swapped : 0; count < limit && position < held_.size();
         ++position) {
      copyWithoutRelativeTime(packer, *held_[position], count);
    }
  } catch (...) {
    size = static_cast<uint32_t>(packer.used());
    throw;
  }
  size = static_cast<uint32_t>(packer.used());
}

void EntryStore::flush() {
  held_.clear();
  swap_.clear();
}

}  // namespace qor::trace
