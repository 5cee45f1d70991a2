#include "monitor_readers.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_items.hpp"
#include "qor_monitor.h"

namespace qor::can {
namespace {

constexpr size_t kCountOffset = 4;
constexpr size_t kItemsOffset = 8;
constexpr size_t kLargeItemsOffset = 4;

// Whole items of the instance's ring into items, at most asked bytes; *dataLost: the ring lost data.
uint32_t readRing(const kit::Call& call, uint32_t asked, size_t itemBytes, void* items, size_t* count,
                  bool* dataLost) {
  uint32_t bytes = asked;
  uint8_t lost = 0;
  if (uint32_t code = Qor_GetMonitorItems(call.port(), items, &bytes, &lost)) return code;
  *count = bytes / itemBytes;
  *dataLost = lost != 0;
  return 0;
}

// The answer of a direct read: its item count, cut to the items that arrived.
uint32_t directAnswer(const kit::Call& call, uint8_t subFunction, uint8_t instance, size_t itemBytes,
                      std::vector<uint8_t>& answer, uint32_t* itemsThere) {
  if (uint32_t code = monitorExchange(call, monitorRecord(subFunction, instance), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kItemsOffset)) return call.shortAnswer(reader);
  *itemsThere = reader.itemsThatFit(reader.u32(kCountOffset), kItemsOffset, itemBytes);
  return 0;
}

// How many of the answer's items the caller's buffer of capacity items takes; a filled buffer marks its last item.
template <class Copy>
uint32_t copyDirect(uint32_t itemsThere, uint32_t capacity, void* items, Copy copy) {
  const uint32_t copied = std::min(itemsThere, capacity);
  for (uint32_t index = 0; index < copied; ++index) copy(index);
  if (copied == capacity) markLastItem(items, copied, QOR_CAN_MONITOR_BUFFER_FILLED);
  return copied;
}

}  // namespace

// The core keeps its data-lost mark while the ring is empty: the next read with items reports it.
uint32_t readBuffered32(const kit::Call& call, uint8_t, uint32_t size, uint32_t* count, void* items) {
  *count = 0;
  const auto asked = static_cast<uint32_t>(size / kItemBytes * kCompactItemBytes);
  size_t read = 0;
  bool dataLost = false;
  if (uint32_t code = readRing(call, asked, kCompactItemBytes, items, &read, &dataLost)) return code;
  convertInPlace(static_cast<uint8_t*>(items), read);
  if (dataLost) markLastItem(items, read, QOR_CAN_MONITOR_DATA_LOST);
  *count = static_cast<uint32_t>(read);
  return 0;
}

uint32_t readBuffered64(const kit::Call& call, uint8_t, uint32_t size, uint32_t* count, void* items) {
  *count = 0;
  size_t read = 0;
  bool dataLost = false;
  if (uint32_t code = readRing(call, size, kItemBytes, items, &read, &dataLost)) return code;
  if (dataLost) markLastItem(items, read, QOR_CAN_MONITOR_DATA_LOST);
  *count = static_cast<uint32_t>(read);
  return 0;
}

uint32_t readDirect32(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items) {
  *count = 0;
  const auto capacity = static_cast<uint32_t>(size / kItemBytes);
  if (capacity == 0) return call.fail(kit::GeneralError::ResponseBufferUndersized);
  std::vector<uint8_t> answer;
  uint32_t itemsThere = 0;
  if (uint32_t code = directAnswer(call, kReadItems32, instance, kCompactItemBytes, answer, &itemsThere)) return code;
  *count = copyDirect(itemsThere, capacity, items, [&](uint32_t index) {
    const Qor_Can_Monitor_Item_t item =
        apiItem(answer.data() + kItemsOffset + index * kCompactItemBytes, CompactFlags::Unchanged);
    std::memcpy(static_cast<uint8_t*>(items) + index * kItemBytes, &item, sizeof item);
  });
  return 0;
}

uint32_t readDirect64(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items) {
  *count = 0;
  const auto capacity = static_cast<uint32_t>(size / kItemBytes);
  if (capacity == 0) return call.fail(kit::GeneralError::ResponseBufferUndersized);
  std::vector<uint8_t> answer;
  uint32_t itemsThere = 0;
  if (uint32_t code = directAnswer(call, kReadItems64, instance, kItemBytes, answer, &itemsThere)) return code;
  *count = copyDirect(itemsThere, capacity, items, [&](uint32_t index) {
    std::memcpy(static_cast<uint8_t*>(items) + index * kItemBytes, answer.data() + kItemsOffset + index * kItemBytes,
                kItemBytes);
  });
  return 0;
}

uint32_t readDirectLarge(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* slots) {
  const uint32_t capacity = std::min<uint32_t>(*count, static_cast<uint32_t>(size / kLargeSlotBytes));
  *count = 0;
  if (size < kLargeSlotBytes) return call.fail(kit::GeneralError::ResponseBufferUndersized);
  std::vector<uint8_t> answer;
  if (uint32_t code = monitorExchange(call, monitorRecord(kReadLargeItems, instance), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kLargeItemsOffset)) return call.shortAnswer(reader);
  auto* out = static_cast<Can_Param_Monitor_Buffer64_LargeItem_t*>(slots);
  uint32_t copied = 0;
  const kit::WalkEnd end = walkLargeItems(reader.rest(kLargeItemsOffset), [&](std::span<const uint8_t> item) {
    if (copied == capacity) return false;
    fillSlot(out[copied++], item);
    return copied < capacity;
  });
  if (end != kit::WalkEnd::Complete && copied > 0) out[copied - 1].flags |= QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED;
  *count = copied;
  return 0;
}

}  // namespace qor::can
