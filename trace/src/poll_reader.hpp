// The answers to a trace channel's poll: the firmware monitor's items after a head, turned into trace records. One
// bounded walk serves the four buses; a count, a length or a step that does not fit the bytes received ends the walk
// at the last whole item, which is marked as overrun because the items after it are lost.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "trace_entry.hpp"

namespace qor::trace {

// The items of one poll: in time order (equal time stamps in the order read), and the listed ones by key. A poll may
// hold a key several times: list[k] holds each key's (k+1)-th item, so applying them in order leaves the latest of
// each key and gives every one its time since the one before.
struct PollRound {
  using Key = std::pair<uint32_t, uint32_t>;  // channel id, the bus's key
  std::multimap<uint64_t, SharedEntry> batch;
  std::vector<std::map<Key, SharedEntry>> list;

  bool empty() const { return batch.empty(); }
};

// busType: QOR_TRACE_BUS_*; answer: the poll's response as returned (head included).
PollRound readPollAnswer(uint8_t busType, uint32_t channelId, std::span<const uint8_t> answer);

}  // namespace qor::trace
