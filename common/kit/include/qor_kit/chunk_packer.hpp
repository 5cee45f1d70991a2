// Entries of different sizes (messages, frames, items) travel to the firmware in chunks: a chunk holds whole entries,
// in order, as many as fit under a byte limit (the port's maximum parameter length less the chunk's head) and, where
// the firmware counts free slots, under a slot budget. The caller checks every entry before the first chunk leaves,
// and an entry larger than the limit is refused then too, so a refused call sends nothing:
//
//   const kit::ChunkPacker packer(count, limit, [&](uint32_t index) { return 4u + entries[index].length; });
//   for (uint32_t index = 0; index < count; ++index) if (uint32_t code = checkEntry(index)) return code;
//   if (std::optional<uint32_t> index = packer.oversizeEntry()) return call.fail(..., *index);
//   return packer.sendAll([&](uint32_t first, uint32_t entries) { return sendChunk(first, entries); });
#pragma once

#include <cstdint>
#include <optional>

namespace qor::kit {

template <class EntryBytes>
class ChunkPacker {
 public:
  // entryBytes(index) gives the bytes that entry takes in a chunk.
  ChunkPacker(uint32_t count, uint32_t limit, EntryBytes entryBytes)
      : count_(count), limit_(limit), entryBytes_(entryBytes) {}

  uint32_t count() const { return count_; }
  uint32_t limit() const { return limit_; }

  // The first entry that no chunk can hold.
  std::optional<uint32_t> oversizeEntry() const {
    for (uint32_t index = 0; index < count_; ++index) {
      if (entryBytes_(index) > limit_) return index;
    }
    return std::nullopt;
  }

  // The entries from `first` on that one chunk holds with `slots` free. An oversize entry still makes a chunk of its
  // own, which the record's capacity refuses, so a caller that skipped the check cannot loop forever.
  uint32_t entriesFrom(uint32_t first, uint32_t slots = UINT32_MAX) const {
    uint64_t bytes = 0;
    uint32_t entries = 0;
    for (uint32_t index = first; index < count_ && entries < slots; ++index, ++entries) {
      bytes += entryBytes_(index);
      if (bytes > limit_) return entries == 0 ? 1 : entries;
    }
    return entries;
  }

  // Without a slot budget: send(first, entries) for each chunk in order until one returns a code. Chunks sent before a
  // failing one stay sent.
  template <class Send>
  uint32_t sendAll(Send send) const {
    for (uint32_t first = 0; first < count_;) {
      const uint32_t entries = entriesFrom(first);
      if (uint32_t code = send(first, entries)) return code;
      first += entries;
    }
    return 0;
  }

  // With a slot budget of one slot per entry: refill(slots) runs whenever no slot is left, before the first chunk too;
  // it waits (bounded) until slots are free or returns a code. send(first, entries, slots) sends a chunk and leaves in
  // slots what is still free: the firmware's count, the budget less the entries sent, or 0 to ask again.
  template <class Refill, class Send>
  uint32_t sendAll(Refill refill, Send send) const {
    uint32_t slots = 0;
    for (uint32_t first = 0; first < count_;) {
      if (slots == 0) {
        if (uint32_t code = refill(slots)) return code;
        continue;
      }
      const uint32_t entries = entriesFrom(first, slots);
      if (uint32_t code = send(first, entries, slots)) return code;
      first += entries;
    }
    return 0;
  }

 private:
  uint32_t count_;
  uint32_t limit_;
  EntryBytes entryBytes_;
};

}  // namespace qor::kit
