#include "event_action_requests.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>

namespace qor::common {
namespace {

using Event = Qor_Common_EA_EventConfig_t;
using kit::GeneralError;

constexpr char kReservedNotZero[] = "reserved bytes have to be 0";
constexpr char kChannelFromOne[] = "invalid channel - channel indexes start with '1'";

// Reserved bytes of a description, by their place in it.
struct ReservedBytes {
  size_t offset = 0;
  size_t size = 0;
};
#define QOR_EVENT_RESERVED(member) \
  ReservedBytes { offsetof(Event, member), sizeof(std::declval<const Event&>().member) }

// What one group of event types checks and sends. The request's bytes from offset 12 are the group's own.
struct EventLayout {
  std::array<uint16_t, 5> types;  // 0: no further type
  uint32_t allowedFlags;
  std::array<ReservedBytes, 2> reserved;  // size 0: none
  // The group's value checks after flags and reserved bytes; nullptr: none.
  uint32_t (*checkFields)(const kit::Call& call, const Event& event);
  void (*writeFields)(const Event& event, kit::RecordWriter& record);
};

uint32_t checkConditionType(const kit::Call& call, const Event& event) {
  const uint8_t type = event.condition.conditionType;
  return type > 2 ? call.fail(GeneralError::InvalidParameter, "condition type 0x%x is unknown", type) : 0;
}

uint32_t checkBusType(const kit::Call& call, const Event& event) {
  const uint8_t type = event.bus.busType;
  return type > 1 ? call.fail(GeneralError::InvalidParameter, "bus type 0x%x is unknown", type) : 0;
}

uint32_t checkChannel(const kit::Call& call, const Event& event) {
  return event.channel.channel == 0 ? call.fail(GeneralError::InvalidParameter, "%s", kChannelFromOne) : 0;
}

constexpr EventLayout kEventLayouts[] = {
    // The flags word is the value: its low byte counts, the other three are reserved.
    {{0x100},
     ~0u,
     {ReservedBytes{offsetof(Event, flags) + 1, 3}},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) { record.u32(event.flags & 0xFF); }},
    {{0x200, 0x201, 0x202},
     0,
     {QOR_EVENT_RESERVED(entryList.reserved21)},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) {
       const auto& fields = event.entryList;
       record.u32(0).u32(fields.firstWord).u32(fields.secondWord).u8(fields.count).zeros(3);
       record.bytes(fields.entries, sizeof fields.entries[0] * fields.count);
     }},
    {{0x203, 0x204},
     0,
     {QOR_EVENT_RESERVED(condition.reserved21)},
     checkConditionType,
     [](const Event& event, kit::RecordWriter& record) {
       const auto& fields = event.condition;
       record.u32(0).u32(fields.firstWord).u32(fields.secondWord).u8(fields.conditionType).zeros(3);
       record.u32(fields.thirdWord).u32(fields.fourthWord);
     }},
    {{0x300, 0x301},
     0,
     {QOR_EVENT_RESERVED(bus.reserved15)},
     checkBusType,
     [](const Event& event, kit::RecordWriter& record) {
       record.u32(0).u8(event.bus.busType).u8(event.bus.firstByte).u8(event.bus.secondByte).u8(0);
     }},
    {{0x400, 0x800},
     0,
     {QOR_EVENT_RESERVED(byteValue.reserved13)},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) { record.u32(0).u32(event.byteValue.value); }},
    {{0x500},
     3,
     {QOR_EVENT_RESERVED(channel.reserved13)},
     checkChannel,
     [](const Event& event, kit::RecordWriter& record) { record.u32(event.flags).u32(event.channel.channel - 1u); }},
    {{0x600, 0x704, 0x705, 0x900, 0x901},
     0,
     {},
     nullptr,
     [](const Event&, kit::RecordWriter& record) { record.u32(0); }},
    {{0x700},
     0,
     {QOR_EVENT_RESERVED(halfWord.reserved14)},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) { record.u32(0).u32(event.halfWord.value); }},
    {{0x702, 0x703},
     0,
     {QOR_EVENT_RESERVED(frame.reserved13), QOR_EVENT_RESERVED(frame.reserved18)},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) {
       const auto& fields = event.frame;
       record.u8(fields.count).u8(0).u8(fields.dataLength).u8(fields.thirdByte).u32(fields.word);
       record.bytes(fields.identifiers, sizeof fields.identifiers[0] * fields.count);
       record.bytes(fields.data, fields.dataLength).bytes(fields.mask, fields.dataLength);
     }},
    {{0x902},
     0,
     {},
     nullptr,
     [](const Event& event, kit::RecordWriter& record) { record.u32(0).u32(event.wordValue.value); }},
};
#undef QOR_EVENT_RESERVED

const EventLayout* layoutOf(uint16_t eventType) {
  for (const EventLayout& layout : kEventLayouts) {
    if (std::find(layout.types.begin(), layout.types.end(), eventType) != layout.types.end()) return &layout;
  }
  return nullptr;
}

}  // namespace

uint32_t writeInitEvent(const kit::Call& call, const Event& event, kit::RecordWriter& record) {
  if (uint32_t code = call.checkReserved(event.reserved6, kReservedNotZero)) return code;
  // Type 0 is no type: the table's unused type slots hold it.
  const EventLayout* layout = event.eventType == 0 ? nullptr : layoutOf(event.eventType);
  if (layout == nullptr) {
    return call.fail(GeneralError::InvalidParameter, "event type 0x%x is unknown", unsigned{event.eventType});
  }
  if (uint32_t code = call.checkFlags(event.flags, layout->allowedFlags)) return code;
  const auto description = std::span(reinterpret_cast<const uint8_t*>(&event), sizeof event);
  for (const ReservedBytes& reserved : layout->reserved) {
    if (uint32_t code = call.checkReserved(description.subspan(reserved.offset, reserved.size), kReservedNotZero)) {
      return code;
    }
  }
  if (layout->checkFields != nullptr) {
    if (uint32_t code = layout->checkFields(call, event)) return code;
  }
  record.u32(kInitEvent).u32(event.handle).u32(event.eventType);
  layout->writeFields(event, record);
  return 0;
}

uint32_t writeInitAction(const kit::Call& call, const Qor_Common_EA_ActionConfig_t& action, kit::RecordWriter& record) {
  if (uint32_t code = call.checkReserved(action.reserved6, kReservedNotZero)) return code;
  switch (action.actionType) {
    case 0x100:
      record.u32(kInitAction).u32(action.handle).u32(action.actionType).u32(action.value.value);
      return 0;
    case 0x200: {
      const auto& fields = action.channel;
      if (uint32_t code = call.checkReserved(fields.reserved10, "reserved bytes have to be zero")) return code;
      if (fields.channel == 0) return call.fail(GeneralError::InvalidParameter, "%s", kChannelFromOne);
      if (fields.mode > 2) return call.fail(GeneralError::UnknownMode);
      record.u32(kInitAction).u32(action.handle).u32(action.actionType);
      record.u8(static_cast<uint8_t>(fields.channel - 1)).u8(fields.mode).u16(0).u32(fields.value);
      return 0;
    }
    default:
      return call.fail(GeneralError::InvalidParameter, "action type 0x%x is unknown", unsigned{action.actionType});
  }
}

}  // namespace qor::common
