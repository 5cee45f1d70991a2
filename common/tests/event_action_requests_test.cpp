// Event and action descriptions: a table of descriptions with the exact request each gives, and a table of refusals
// with the code and text of the check that fails first.
#include "event_action_requests.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "common_library.hpp"
#include "qor_api.h"
#include "qor_emulator/frame.hpp"

namespace qor::common {
namespace {

using emulator::Bytes;
using emulator::words;
using Event = Qor_Common_EA_EventConfig_t;
using Action = Qor_Common_EA_ActionConfig_t;

constexpr uint32_t kHandle = 0x44332211;
constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kUnknownMode = 0x02010005;
constexpr uint32_t kInvalidParameter = 0x02010007;

Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Bytes from `first` on, one apart, as fillers that cannot pass for zeros.
Bytes sequence(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// Every array of the description filled, so that a request taking more than its counts say shows.
Event eventOf(uint16_t type, uint32_t flags = 0) {
  Event event{};
  event.handle = kHandle;
  event.eventType = type;
  event.flags = flags;
  return event;
}

Event frameEvent(uint16_t type, uint8_t count, uint8_t dataLength) {
  Event event = eventOf(type);
  event.frame.count = count;
  event.frame.dataLength = dataLength;
  event.frame.thirdByte = 0x5A;
  event.frame.word = 0xC0DE;
  for (uint32_t i = 0; i < 255; ++i) event.frame.identifiers[i] = 0x10000000 + i;
  const Bytes data = sequence(255, 0x40), mask = sequence(255, 0x80);
  memcpy(event.frame.data, data.data(), data.size());
  memcpy(event.frame.mask, mask.data(), mask.size());
  return event;
}

Bytes identifiers(uint32_t count) {
  Bytes bytes;
  for (uint32_t i = 0; i < count; ++i) bytes = bytes + words({0x10000000 + i});
  return bytes;
}

Event entryListEvent(uint16_t type, uint8_t count) {
  Event event = eventOf(type);
  event.entryList.firstWord = 0xA4A3A2A1;
  event.entryList.secondWord = 0xB4B3B2B1;
  event.entryList.count = count;
  const Bytes entries = sequence(sizeof event.entryList.entries, 1);
  memcpy(event.entryList.entries, entries.data(), entries.size());
  return event;
}

struct EventCase {
  const char* name;
  Event event;
  Bytes request;
};

const Bytes kFrameHead = {0, 0, 0, 0x5A, 0xDE, 0xC0, 0, 0};  // count and data length filled in per case

Bytes frameHead(uint8_t count, uint8_t dataLength) {
  Bytes head = kFrameHead;
  head[0] = count;
  head[2] = dataLength;
  return head;
}

std::vector<EventCase> eventCases() {
  Event condition = eventOf(0x204);
  condition.condition = {0x11, 0x22, 2, {0, 0, 0}, 0x33, 0x44};
  Event bus = eventOf(0x301);
  bus.bus = {1, 0x12, 0x34, 0};
  Event byteValue = eventOf(0x800);
  byteValue.byteValue.value = 0x7F;
  Event channel = eventOf(0x500, 3);
  channel.channel.channel = 1;
  Event halfWord = eventOf(0x700);
  halfWord.halfWord.value = 0xBEEF;
  Event wordValue = eventOf(0x902);
  wordValue.wordValue.value = 0xDEADBEEF;
  return {
      {"0x100: the low byte of the flags is the value", eventOf(0x100, 5), words({3, kHandle, 0x100, 5})},
      {"0x200 without entries", entryListEvent(0x200, 0),
       words({3, kHandle, 0x200, 0, 0xA4A3A2A1, 0xB4B3B2B1}, {0, 0, 0, 0})},
      {"0x201 with 255 entries", entryListEvent(0x201, 255),
       words({3, kHandle, 0x201, 0, 0xA4A3A2A1, 0xB4B3B2B1}, {255, 0, 0, 0}) + sequence(510, 1)},
      {"0x202 with 2 entries", entryListEvent(0x202, 2),
       words({3, kHandle, 0x202, 0, 0xA4A3A2A1, 0xB4B3B2B1}, {2, 0, 0, 0, 1, 2, 3, 4})},
      {"0x204 condition type 2", condition,
       words({3, kHandle, 0x204, 0, 0x11, 0x22}, {2, 0, 0, 0}) + words({0x33, 0x44})},
      {"0x301 bus type 1", bus, words({3, kHandle, 0x301, 0}, {1, 0x12, 0x34, 0})},
      {"0x800 byte value", byteValue, words({3, kHandle, 0x800, 0, 0x7F})},
      {"0x500 flags 3 channel 1 sends channel 0", channel, words({3, kHandle, 0x500, 3, 0})},
      {"0x600 has no fields", eventOf(0x600), words({3, kHandle, 0x600, 0})},
      {"0x901 has no fields", eventOf(0x901), words({3, kHandle, 0x901, 0})},
      {"0x700 half-word value", halfWord, words({3, kHandle, 0x700, 0, 0xBEEF})},
      {"0x702 with 255 identifiers and 255 data bytes", frameEvent(0x702, 255, 255),
       words({3, kHandle, 0x702}, frameHead(255, 255)) + identifiers(255) + sequence(255, 0x40) + sequence(255, 0x80)},
      {"0x703 with neither identifiers nor data", frameEvent(0x703, 0, 0), words({3, kHandle, 0x703}, frameHead(0, 0))},
      {"0x703 sends only the used identifiers, data and mask", frameEvent(0x703, 2, 3),
       words({3, kHandle, 0x703}, frameHead(2, 3)) + identifiers(2) + Bytes{0x40, 0x41, 0x42, 0x80, 0x81, 0x82}},
      {"0x902 word value", wordValue, words({3, kHandle, 0x902, 0, 0xDEADBEEF})},
  };
}

TEST(EventRequest, EachDescriptionGivesItsExactRequest) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const EventCase& item : eventCases()) {
    kit::RecordWriter record(kLongestEventRequest);
    ASSERT_EQ(writeInitEvent(call, item.event, record), 0u) << item.name << ": " << Qor_GetLastErrorDescription();
    EXPECT_FALSE(record.overflowed()) << item.name;
    EXPECT_EQ(Bytes(record.view().begin(), record.view().end()), item.request) << item.name;
  }
}

TEST(EventRequest, LengthsAtTheEdges) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  const std::pair<Event, size_t> edges[] = {
      {entryListEvent(0x200, 0), 28},
      {entryListEvent(0x200, 255), 538},
      {frameEvent(0x702, 255, 255), 1550},
      {frameEvent(0x702, 0, 0), 20},
      {eventOf(0x100), 16},
  };
  for (const auto& [event, length] : edges) {
    kit::RecordWriter record(kLongestEventRequest);
    ASSERT_EQ(writeInitEvent(call, event, record), 0u);
    EXPECT_EQ(record.size(), length) << "type 0x" << std::hex << event.eventType;
  }
}

struct Refusal {
  const char* name;
  std::function<void(Event&)> describe;  // on a valid 0x200 event of zeros
  uint32_t code;
  const char* text;  // nullptr: empty
};

void type(Event& event, uint16_t eventType) { event.eventType = eventType; }

// In the order of the checks: each case also breaks a later check, which must not be the one reported.
const Refusal kEventRefusals[] = {
    {"reserved after the type, before the type",
     [](Event& e) {
       e.reserved6 = 1;
       type(e, 0x701);
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"unknown type 0x701",
     [](Event& e) {
       type(e, 0x701);
       e.flags = 7;
     },
     kInvalidParameter, "event type 0x701 is unknown"},
    {"type 0 is unknown", [](Event& e) { type(e, 0); }, kInvalidParameter, "event type 0x0 is unknown"},
    {"flags before reserved",
     [](Event& e) {
       e.flags = 1;
       e.entryList.reserved21[0] = 1;
     },
     kUnknownFlag, nullptr},
    {"flags of a type without fields",
     [](Event& e) {
       type(e, 0x600);
       e.flags = 0x80000000;
     },
     kUnknownFlag, nullptr},
    {"0x500 allows flag bits 0 and 1 only",
     [](Event& e) {
       type(e, 0x500);
       e.flags = 4;
     },
     kUnknownFlag, nullptr},
    {"0x200 reserved", [](Event& e) { e.entryList.reserved21[2] = 1; }, kInvalidParameter,
     "reserved bytes have to be 0"},
    {"0x100 value above a byte",
     [](Event& e) {
       type(e, 0x100);
       e.flags = 0x105;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x203 reserved before the condition type",
     [](Event& e) {
       type(e, 0x203);
       e.condition.reserved21[1] = 1;
       e.condition.conditionType = 3;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x203 condition type 3",
     [](Event& e) {
       type(e, 0x203);
       e.condition.conditionType = 3;
     },
     kInvalidParameter, "condition type 0x3 is unknown"},
    {"0x300 reserved before the bus type",
     [](Event& e) {
       type(e, 0x300);
       e.bus = {2, 0, 0, 1};
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x300 bus type 2",
     [](Event& e) {
       type(e, 0x300);
       e.bus.busType = 2;
     },
     kInvalidParameter, "bus type 0x2 is unknown"},
    {"0x400 reserved",
     [](Event& e) {
       type(e, 0x400);
       e.byteValue.reserved13[0] = 1;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x500 flags before the channel",
     [](Event& e) {
       type(e, 0x500);
       e.flags = 8;
     },
     kUnknownFlag, nullptr},
    {"0x500 reserved before the channel",
     [](Event& e) {
       type(e, 0x500);
       e.channel.reserved13[2] = 1;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x500 channel 0",
     [](Event& e) {
       type(e, 0x500);
       e.flags = 3;
     },
     kInvalidParameter, "invalid channel - channel indexes start with '1'"},
    {"0x700 reserved",
     [](Event& e) {
       type(e, 0x700);
       e.halfWord.reserved14 = 1;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x702 reserved byte",
     [](Event& e) {
       type(e, 0x702);
       e.frame.reserved13 = 1;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x703 reserved half-word",
     [](Event& e) {
       type(e, 0x703);
       e.frame.reserved18 = 0x100;
     },
     kInvalidParameter, "reserved bytes have to be 0"},
    {"0x902 flags",
     [](Event& e) {
       type(e, 0x902);
       e.flags = 2;
     },
     kUnknownFlag, nullptr},
};

void expectFailure(const char* name, uint32_t result, uint32_t code, const char* text,
                   const kit::RecordWriter& record) {
  EXPECT_EQ(result, code) << name;
  EXPECT_EQ(record.size(), 0u) << name << ": nothing is written for a refused description";
  if (text == nullptr) return;
  char expected[160];
  snprintf(expected, sizeof expected, "0x%08X - COMMON - invalid parameter - %s", code, text);
  EXPECT_EQ(std::string(Qor_GetLastErrorDescription()), expected) << name;
}

TEST(EventRequest, RefusalsComeInTheOrderOfTheChecks) {
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const Refusal& refusal : kEventRefusals) {
    Event event = eventOf(0x200);
    refusal.describe(event);
    kit::RecordWriter record(kLongestEventRequest);
    expectFailure(refusal.name, writeInitEvent(call, event, record), refusal.code, refusal.text, record);
  }
}

Action channelAction(uint8_t channel, uint8_t mode) {
  Action action{};
  action.handle = kHandle;
  action.actionType = 0x200;
  action.channel = {channel, mode, 0, 0xCAFEF00D};
  return action;
}

TEST(ActionRequest, EachDescriptionGivesItsExactRequest) {
  Action value{};
  value.handle = kHandle;
  value.actionType = 0x100;
  value.value.value = 0x01020304;
  const std::pair<Action, Bytes> cases[] = {
      {value, words({4, kHandle, 0x100, 0x01020304})},
      {channelAction(1, 2), words({4, kHandle, 0x200}, {0, 2, 0, 0}) + words({0xCAFEF00D})},
      {channelAction(3, 0), words({4, kHandle, 0x200}, {2, 0, 0, 0}) + words({0xCAFEF00D})},
  };
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const auto& [action, request] : cases) {
    kit::RecordWriter record(kLongestActionRequest);
    ASSERT_EQ(writeInitAction(call, action, record), 0u) << Qor_GetLastErrorDescription();
    EXPECT_EQ(Bytes(record.view().begin(), record.view().end()), request) << "type 0x" << std::hex << action.actionType;
  }
}

TEST(ActionRequest, RefusalsComeInTheOrderOfTheChecks) {
  struct ActionRefusal {
    const char* name;
    Action action;
    uint32_t code;
    const char* text;
  };
  Action reservedFirst = channelAction(1, 0);
  reservedFirst.reserved6 = 1;
  reservedFirst.actionType = 0x300;
  Action unknown = channelAction(1, 0);
  unknown.actionType = 0x300;
  Action channelReserved = channelAction(0, 3);
  channelReserved.channel.reserved10 = 1;
  const ActionRefusal refusals[] = {
      {"reserved after the type, before the type", reservedFirst, kInvalidParameter, "reserved bytes have to be 0"},
      {"unknown type", unknown, kInvalidParameter, "action type 0x300 is unknown"},
      {"0x200 reserved, before the channel", channelReserved, kInvalidParameter, "reserved bytes have to be zero"},
      {"0x200 channel 0, before the mode", channelAction(0, 3), kInvalidParameter,
       "invalid channel - channel indexes start with '1'"},
      {"0x200 mode 3", channelAction(1, 3), kUnknownMode, nullptr},
  };
  const kit::Call call(kCommon, QOR_NO_PORT);
  for (const ActionRefusal& refusal : refusals) {
    kit::RecordWriter record(kLongestActionRequest);
    expectFailure(refusal.name, writeInitAction(call, refusal.action, record), refusal.code, refusal.text, record);
  }
}

}  // namespace
}  // namespace qor::common
