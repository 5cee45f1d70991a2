// The LIN monitor's items: the firmware's fixed-size buffer items and list answers, and their conversion into the
// application's records (qor_lin_monitor.h). Every read of a firmware item stays inside its fixed size; a data length
// above 8 is taken as 8, so no conversion writes past the data or byte-time arrays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor::lin {

enum class ItemKind : uint8_t { Small, Normal, Advanced };

struct ItemFormat {
  uint8_t firmwareKind;      // as the configure record names it
  uint32_t firmwareSize;     // of a buffer item from the firmware
  uint32_t applicationSize;  // of the application's item
  uint32_t byteTimeArrays;   // 0, 1 or 3
};

const ItemFormat& itemFormat(ItemKind kind);

enum class ListKind : uint8_t { Small, Normal };

struct ListFormat {
  uint8_t command;       // the list query
  uint32_t answerSize;   // the shortest answer that holds an item
  uint32_t itemSize;     // of the application's list item
  bool withTimes;        // time2 to time4 and the byte times
};

const ListFormat& listFormat(ListKind kind);

// The firmware's time stamp counts 400-ns ticks, every other time 25-ns ticks; times that do not fit the records'
// u32 are saturated.
constexpr uint64_t timeStampNs(uint32_t ticks) { return uint64_t{ticks} * 400; }
uint32_t firmwareTimeNs(uint32_t ticks);

// One firmware buffer item of format.firmwareSize bytes into an application item of format.applicationSize bytes.
// Only the fields the item carries are written: the first dataLength data bytes and byte times, not the rest.
void convertBufferItem(const ItemFormat& format, const uint8_t* firmware, uint8_t* application);

// Marks lost items in the last of count converted items: its frame id field is OR-ed with the overflow mark.
void markOverflow(const ItemFormat& format, uint8_t* items, uint32_t count);

// A list answer of at least format.answerSize bytes into a whole list item (zeroed first).
void convertListAnswer(const ListFormat& format, std::span<const uint8_t> answer, uint8_t* item);

// Firmware buffer items as they arrive in blocks cut anywhere: whole items are converted into a buffer of capacity
// application items and delivered in pieces of at most that many; a cut item waits for the rest of its bytes.
class ItemStream {
 public:
  ItemStream(const ItemFormat& format, uint32_t capacity);

  // deliver(count, items) for each piece of the block, and once with count 0 when the block completes no item.
  template <class Deliver>
  void feed(std::span<const uint8_t> block, Deliver&& deliver);

 private:
  const ItemFormat& format_;
  uint32_t capacity_;
  std::vector<uint8_t> converted_;
  std::vector<uint8_t> carry_;  // the start of a cut item
};

template <class Deliver>
void ItemStream::feed(std::span<const uint8_t> block, Deliver&& deliver) {
  const uint32_t firmwareSize = format_.firmwareSize;
  uint32_t count = 0;
  bool delivered = false;
  const auto take = [&](const uint8_t* item) {
    convertBufferItem(format_, item, converted_.data() + size_t{count} * format_.applicationSize);
    if (++count == capacity_) {
      deliver(count, static_cast<const void*>(converted_.data()));
      delivered = true;
      count = 0;
    }
  };
  if (!carry_.empty()) {
    const size_t part = std::min<size_t>(firmwareSize - carry_.size(), block.size());
    carry_.insert(carry_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(part));
    block = block.subspan(part);
    if (carry_.size() == firmwareSize) {
      take(carry_.data());
      carry_.clear();
    }
  }
  for (; block.size() >= firmwareSize; block = block.subspan(firmwareSize)) take(block.data());
  carry_.insert(carry_.end(), block.begin(), block.end());
  if (count != 0 || !delivered) deliver(count, static_cast<const void*>(converted_.data()));
}

}  // namespace qor::lin
