// The firmware buffer of a port: answers that no caller and no callback took, kept as records one after another in
// one block so that an application can read them later, oldest first. When the block is full the oldest records
// are overwritten and the loss is marked on the record that replaced them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::client {

class FirmwareBuffer {
 public:
  // Record head: u32 size (data + 20), u8 command, u8 frame type, u8 data lost, u8 0, u64 next record, then data.
  static constexpr size_t kRecordOverhead = 20;
  static constexpr size_t kMinimumSize = 24;

  explicit FirmwareBuffer(size_t size) : block_(size) {}

  void write(uint8_t command, uint8_t type, const uint8_t* data, size_t length);

  struct Record {
    uint8_t command;
    uint8_t type;
    bool dataLost;
    size_t length;
  };
  bool empty() const { return !notEmpty_; }
  // The oldest record's head; only when not empty.
  Record oldest() const;
  // Copies the oldest record's data (its length must fit) and removes it.
  void takeOldest(uint8_t* out);

 private:
  static constexpr uint64_t kNone = UINT64_MAX;
  struct Head {
    uint32_t size;
    uint8_t command;
    uint8_t type;
    uint8_t dataLost;
    uint8_t zero;
    uint64_t next;
  };
  static_assert(sizeof(Head) == 16, "record head is 16 bytes");

  // Records start at any byte offset: their heads are copied, never addressed in place.
  Head head(size_t offset) const;
  void setHead(size_t offset, const Head& value);
  // Moves the read position past the records that the new record [start, end) would overwrite; false when every
  // record goes.
  bool evict(size_t start, size_t end);
  // The newest record lies before the oldest: the log runs over the block's end.
  bool wrapped() const;
  void place(size_t offset, uint8_t command, uint8_t type, const uint8_t* data, size_t length, bool dataLost,
             bool linkFromLast);

  std::vector<uint8_t> block_;
  size_t read_ = 0;
  size_t write_ = 0;
  size_t last_ = 0;
  bool notEmpty_ = false;
  bool pendingLoss_ = false; // a frame was dropped while no record was there to carry the mark
};

} // namespace qor::client
