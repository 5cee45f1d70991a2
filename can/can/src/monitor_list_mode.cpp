#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "can_library.hpp"
#include "monitor_commands.hpp"
#include "monitor_items.hpp"
#include "qor_can_monitor.h"
#include "qor_kit/async_family.hpp"
#include "qor_kit/call.hpp"

namespace qor::can {
namespace {

constexpr uint32_t kListModeOn = 2;
constexpr uint32_t kListModeOff = 0;
constexpr uint8_t kIdentifierControlBytes = 4;
constexpr uint32_t kListItemBytes = 24;
constexpr uint32_t kMessageFlagBits = 0x03;
constexpr size_t kListDataBytes = 8;

const kit::AsyncFamily kListItemFamily(kListItemCommand, {}, 0);

// The firmware's list-mode item: +0 u32 identifier, +4 u32 time stamp in units, +8 u32 count, +12 u8 flags,
// +13 u8 DLC, +14 u8 time-stamp unit, +16 u8 data[8].
struct ListItem {
  uint32_t identifier = 0;
  uint64_t timeStampNs = 0;
  uint32_t count = 0;
  uint32_t flags = 0;
  uint8_t dlc = 0;
  uint8_t data[kListDataBytes] = {};
  size_t dataBytes = 0;  // of data that hold the frame's bytes
};

enum class ListItemFault { None, ShortAnswer, UnknownUnit };

uint32_t codeOf(ListItemFault fault) {
  return kCan.code(fault == ListItemFault::ShortAnswer ? kit::GeneralError::InvalidResponseLength
                                                       : kit::GeneralError::InvalidResponseParameter);
}

// detail: the answer's length when it is short, the unit when it is unknown.
ListItemFault decodeListItem(std::span<const uint8_t> answer, ListItem& item, uint32_t& detail) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kListItemBytes)) {
    detail = static_cast<uint32_t>(answer.size());
    return ListItemFault::ShortAnswer;
  }
  const uint8_t unit = reader.u8(14);
  const std::optional<uint32_t> unitNs = nanosecondsPerUnit(unit);
  if (!unitNs) {
    detail = unit;
    return ListItemFault::UnknownUnit;
  }
  item.identifier = reader.u32(0);
  item.timeStampNs = kit::scaledTimeNs(reader.u32(4), *unitNs);
  item.count = reader.u32(8);
  item.flags = reader.u8(12) & kMessageFlagBits;
  item.dlc = reader.u8(13);
  if (item.count != 0 && item.dlc != 0) {
    item.dataBytes = std::min<size_t>(item.dlc, kListDataBytes);
    std::memcpy(item.data, reader.bytes(16, item.dataBytes).data(), item.dataBytes);
  }
  return ListItemFault::None;
}

void listItemRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  ListItem item;
  uint32_t detail = 0;
  const ListItemFault fault = decodeListItem(std::span(data, length), item, detail);
  if (fault != ListItemFault::None) {
    kit::reportRelayFailure(port, codeOf(fault), "Qor_Can_Monitor_ListMode_GetItem_Async");
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Can_Monitor_ListMode_Callback_t>(context)(
      port, item.identifier, item.timeStampNs, item.count, item.flags, item.dlc, item.data);
}

uint32_t switchListMode(uint32_t port, uint32_t state) {
  const kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record(sizeof state);
  record.u32(state);
  return call.send(kListModeCommand, record);
}

}  // namespace
}  // namespace qor::can

using namespace qor;
using can::kCan;

extern "C" {

uint32_t Qor_Can_Monitor_ListMode_Start(uint32_t port) try {
  return can::switchListMode(port, can::kListModeOn);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_ListMode_Stop(uint32_t port) try {
  return can::switchListMode(port, can::kListModeOff);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_ListMode_GetItem(uint32_t port, uint32_t identifier, uint64_t* timeStampNs, uint32_t* count,
                                          uint32_t* flags, uint8_t* dlc, uint8_t* data) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  for (const auto& [pointer, name] : {std::pair<const void*, const char*>{timeStampNs, "timeStamp"},
                                      {count, "count"}, {flags, "flags"}, {dlc, "dlc"}, {data, "data"}}) {
    if (uint32_t code = call.checkPointer(pointer, name)) return code;
  }
  kit::RecordWriter record(sizeof identifier);
  record.u32(identifier);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(can::kListItemCommand, can::kIdentifierControlBytes, record, answer,
                                    can::kListItemBytes)) {
    return code;
  }
  can::ListItem item;
  uint32_t detail = 0;
  switch (can::decodeListItem(answer, item, detail)) {
    case can::ListItemFault::ShortAnswer:
      return call.fail(can::codeOf(can::ListItemFault::ShortAnswer), "%u", detail);
    case can::ListItemFault::UnknownUnit:
      return call.fail(can::codeOf(can::ListItemFault::UnknownUnit), "TimestampResolution: %u", detail);
    case can::ListItemFault::None:
      break;
  }
  *timeStampNs = item.timeStampNs;
  *count = item.count;
  *flags = item.flags;
  *dlc = item.dlc;
  std::memcpy(data, item.data, item.dataBytes);
  return 0;
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_ListMode_GetItem_Async(uint32_t port, uint32_t identifier) try {
  const kit::Call call(kCan, port);
  if (uint32_t code = can::checkCanInterface(call)) return code;
  kit::RecordWriter record(sizeof identifier);
  record.u32(identifier);
  return can::kListItemFamily.request(call, record);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_ListMode_GetItem_Async_AddCallback(uint32_t port,
                                                            Qor_Can_Monitor_ListMode_Callback_t callback) try {
  if (callback == nullptr) {
    return kit::Call(kCan, port).fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  }
  return can::kListItemFamily.add(port, can::listItemRelay, callback);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Monitor_ListMode_GetItem_Async_RemoveCallback(uint32_t port) try {
  return can::kListItemFamily.remove(port);
} catch (...) {
  return kCan.failedCall(port);
}

}  // extern "C"
