// Transmit items of a TAR unit: every item is checked, then all travel in one record of the port's maximum parameter
// length at most. The short forms are widened to the long ones first, so one path checks and packs them.
#include <algorithm>
#include <iterator>
#include <new>
#include <vector>

#include "can_library.hpp"
#include "qor_can_tar.h"

namespace qor::can {
namespace {

constexpr uint8_t kAddItemsCommand = 0xC2;
constexpr size_t kShortDataBytes = 8;  // what a record holds for data of up to 8 bytes

// The record's kind of item.
constexpr uint8_t kindOf(const Qor_Can_Tar_SimpleItem2_t*) { return 1; }
constexpr uint8_t kindOf(const Qor_Can_Tar_StandardItem2_t*) { return 2; }

uint32_t checkReservedOf(const kit::Call& call, unsigned number, const Qor_Can_Tar_SimpleItem2_t& item) {
  return item.reserved != 0
             ? call.fail(kit::GeneralError::InvalidParameter, "reserved bytes have to be zero (item #%u)", number)
             : 0;
}
uint32_t checkReservedOf(const kit::Call&, unsigned, const Qor_Can_Tar_StandardItem2_t&) { return 0; }

template <class Item>
uint32_t checkItem(const kit::Call& call, unsigned number, const Item& item) {
  if ((item.flags & ~QOR_CAN_TAR_ITEM_FLAGS_DEFINED) != 0) {
    return call.fail(kit::GeneralError::UnknownFlag, "unknown flag in item #%u", number);
  }
  if (uint32_t code = checkReservedOf(call, number, item)) return code;
  return checkDlc(call, item.dlc);
}

// Eight bytes of which the DLC's first are the item's, or all data bytes of a longer DLC.
void writeData(kit::RecordWriter& record, uint8_t dlc, const uint8_t* data) {
  const size_t length = dataBytesOfDlc(dlc);
  record.bytes(data, length);
  if (length < kShortDataBytes) record.zeros(kShortDataBytes - length);
}

void writeItem(kit::RecordWriter& record, const Qor_Can_Tar_SimpleItem2_t& item) {
  record.u16(item.value).u8(item.flags).u8(item.dlc);
  writeData(record, item.dlc, item.data);
}

void writeItem(kit::RecordWriter& record, const Qor_Can_Tar_StandardItem2_t& item) {
  record.u32(item.value).u16(item.secondValue).u8(item.flags).u8(item.dlc);
  writeData(record, item.dlc, item.data);
}

template <class Item>
uint32_t addItems(const kit::Call& call, uint8_t index, uint16_t count, const Item* items) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (count != 0) {
    if (uint32_t code = call.checkPointer(items, "items")) return code;
  }
  for (unsigned number = 0; number < count; ++number) {
    if (uint32_t code = checkItem(call, number, items[number])) return code;
  }
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  kit::RecordWriter record(parameterLength);
  record.u8(index).u8(kindOf(items)).u16(count);
  for (unsigned number = 0; number < count && !record.overflowed(); ++number) writeItem(record, items[number]);
  return call.send(kAddItemsCommand, record);
}

// The long forms are zero past the short forms' eight data bytes.
Qor_Can_Tar_SimpleItem2_t widened(const Qor_Can_Tar_SimpleItem_t& item) {
  Qor_Can_Tar_SimpleItem2_t wide{};
  wide.value = item.value;
  wide.flags = item.flags;
  wide.dlc = item.dlc;
  std::copy(std::begin(item.data), std::end(item.data), wide.data);
  return wide;
}

Qor_Can_Tar_StandardItem2_t widened(const Qor_Can_Tar_StandardItem_t& item) {
  Qor_Can_Tar_StandardItem2_t wide{};
  wide.value = item.value;
  wide.secondValue = item.secondValue;
  wide.flags = item.flags;
  wide.dlc = item.dlc;
  std::copy(std::begin(item.data), std::end(item.data), wide.data);
  return wide;
}

template <class ShortItem>
uint32_t addShortItems(const kit::Call& call, uint8_t index, uint16_t count, const ShortItem* items) {
  using LongItem = decltype(widened(*items));
  if (count == 0) return addItems(call, index, 0, static_cast<const LongItem*>(nullptr));
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(items, "items")) return code;
  std::vector<LongItem> wide;
  try {
    wide.reserve(count);
  } catch (const std::bad_alloc&) {
    return call.fail(kCan.code(kNotEnoughMemory), "could not allocate memory for internal item structure");
  }
  for (unsigned number = 0; number < count; ++number) wide.push_back(widened(items[number]));
  return addItems(call, index, count, wide.data());
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Tar_AddTxItems_Simple2(uint32_t port, uint8_t index, uint16_t count,
                                        const Qor_Can_Tar_SimpleItem2_t* items) try {
  return qor::can::addItems(qor::kit::Call(kCan, port), index, count, items);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_AddTxItems_Standard2(uint32_t port, uint8_t index, uint16_t count,
                                          const Qor_Can_Tar_StandardItem2_t* items) try {
  return qor::can::addItems(qor::kit::Call(kCan, port), index, count, items);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_AddTxItems_Simple(uint32_t port, uint8_t index, uint16_t count,
                                       const Qor_Can_Tar_SimpleItem_t* items) try {
  return qor::can::addShortItems(qor::kit::Call(kCan, port), index, count, items);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_AddTxItems_Standard(uint32_t port, uint8_t index, uint16_t count,
                                         const Qor_Can_Tar_StandardItem_t* items) try {
  return qor::can::addShortItems(qor::kit::Call(kCan, port), index, count, items);
} catch (...) {
  return kCan.failedCall(port);
}
