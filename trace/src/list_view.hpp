// The list view of a trace: the latest record per (channel id, key), in key order. A record that replaces one of
// its key carries the time since that one as its relativeTimestamp. A round's records are shared with the trace, so
// the list is updated before the round is stored: the records that reach the swap file or a live file then already
// carry their relative times. Not locked: the trace's list lock covers every call.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "trace_entry.hpp"

namespace qor::trace {

class ListView {
 public:
  using Key = std::pair<uint32_t, uint32_t>;  // channel id, the bus's key (identifier, slot, event code)
  using Round = std::map<Key, SharedEntry>;

  void update(const Round& round);
  // Copies records from position start in key order, as EntryStore::getItems does, keeping relativeTimestamp. count:
  // in at most this many when start + count does not pass the end, else all from start.
  void getItems(uint32_t start, uint32_t& count, uint32_t& size, uint8_t* buffer) const;
  void clear() { entries_.clear(); }
  size_t size() const { return entries_.size(); }

 private:
  Round entries_;
};

}  // namespace qor::trace
