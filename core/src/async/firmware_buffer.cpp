#include "async/firmware_buffer.hpp"

#include <cstring>

namespace qor::client {

FirmwareBuffer::Head FirmwareBuffer::head(size_t offset) const {
  Head value;
  memcpy(&value, block_.data() + offset, sizeof value);
  return value;
}

void FirmwareBuffer::setHead(size_t offset, const Head& value) { memcpy(block_.data() + offset, &value, sizeof value); }

bool FirmwareBuffer::evict(size_t start, size_t end) {
  size_t record = read_;
  for (;;) {
    // A record beyond the new one survives, and so does one that lies before it: the chain wrapped there and the
    // records from it on are newer.
    if (record >= end || record < start) {
      read_ = record;
      return true;
    }
    const uint64_t next = head(record).next;
    if (next == kNone) return false;
    record = static_cast<size_t>(next);
  }
}

bool FirmwareBuffer::wrapped() const { return notEmpty_ && last_ < read_; }

void FirmwareBuffer::place(size_t offset, uint8_t command, uint8_t type, const uint8_t* data, size_t length,
                           bool dataLost, bool linkFromLast) {
  const size_t size = length + kRecordOverhead;
  setHead(offset, Head{static_cast<uint32_t>(size), command, type, static_cast<uint8_t>(dataLost || pendingLoss_), 0,
                       kNone});
  if (length != 0) memcpy(block_.data() + offset + sizeof(Head), data, length);
  pendingLoss_ = false;
  if (linkFromLast) {
    Head previous = head(last_);
    previous.next = offset;
    setHead(last_, previous);
  } else {
    read_ = offset;
  }
  last_ = offset;
  write_ = offset + size;
  notEmpty_ = true;
}

void FirmwareBuffer::write(uint8_t command, uint8_t type, const uint8_t* data, size_t length) {
  const size_t size = length + kRecordOverhead;
  if (size > block_.size()) {
    if (notEmpty_) {
      Head newest = head(last_);
      newest.dataLost = 1;
      setHead(last_, newest);
    } else {
      pendingLoss_ = true;
    }
    return;
  }
  if (!notEmpty_) {
    place(write_ + size <= block_.size() ? write_ : 0, command, type, data, length, false, false);
    return;
  }
  if (wrapped()) {
    // Records lie from the read position to the block's end and from its start to the write position.
    if (write_ + size <= read_) {
      place(write_, command, type, data, length, false, true);
      return;
    }
    if (write_ + size <= block_.size()) {
      const bool survivors = evict(write_, write_ + size);
      place(write_, command, type, data, length, true, survivors);
      return;
    }
    // No room before the block's end: the records up to it are the oldest and all go; the log then lies in one
    // piece at the block's start.
    uint64_t next = head(read_).next;
    while (next != kNone && next >= write_) next = head(static_cast<size_t>(next)).next;
    if (next == kNone) {
      place(0, command, type, data, length, true, false);
      return;
    }
    read_ = static_cast<size_t>(next);
  } else if (write_ + size <= block_.size()) {
    place(write_, command, type, data, length, false, true);
    return;
  }
  // Wrap to the block's start, overwriting the oldest records in the way.
  const bool survivors = read_ >= size || evict(0, size);
  place(0, command, type, data, length, true, survivors);
}

FirmwareBuffer::Record FirmwareBuffer::oldest() const {
  const Head value = head(read_);
  return Record{value.command, value.type, value.dataLost != 0, value.size - kRecordOverhead};
}

void FirmwareBuffer::takeOldest(uint8_t* out) {
  const Head value = head(read_);
  const size_t length = value.size - kRecordOverhead;
  if (length != 0) memcpy(out, block_.data() + read_ + sizeof(Head), length);
  if (value.next == kNone) {
    read_ = write_;
    notEmpty_ = false;
  } else {
    read_ = static_cast<size_t>(value.next);
  }
}

} // namespace qor::client
