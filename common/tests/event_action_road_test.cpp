// The event/action engine from the library through the daemon to an emulated device: each call's request stated
// byte-exact with the device's answer, answers decoded, refusals that send nothing, the device's failures passed on.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>

#include "qor_common_event_action.h"
#include "qor_emulator/frame.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;
using emulator::words;
using emulator::words;

constexpr uint8_t kEngine = 0x78;
constexpr uint32_t kInvalidParameter = 0x02010007;

Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

using EventActionRoad = InterfaceFixture;

TEST_F(EventActionRoad, AllocationsReturnTheFirmwaresHandles) {
  device_->expect(kEngine, words({1, 0x100})).answer(words({1, 0x100, 0x501}));
  device_->expect(kEngine, words({2, 0x100})).answer(words({2, 0x100, 0x502}));
  const uint32_t port = open();
  uint32_t event = 0, action = 0;
  EXPECT_EQ(Qor_Common_EA_AllocateEvent(port, &event), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Common_EA_AllocateAction(port, &action), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(event, 0x501u);
  EXPECT_EQ(action, 0x502u);
}

TEST_F(EventActionRoad, EachFunctionSendsItsRequest) {
  Qor_Common_EA_EventConfig_t channelEvent{};
  channelEvent.handle = 7;
  channelEvent.eventType = 0x500;
  channelEvent.flags = 3;
  channelEvent.channel.channel = 1;
  Qor_Common_EA_ActionConfig_t channelAction{};
  channelAction.handle = 8;
  channelAction.actionType = 0x200;
  channelAction.channel = {2, 1, 0, 0x99};
  const Qor_Common_EA_Property_t eventProperty{7, 5, 0, 0xABCD};
  const Qor_Common_EA_Property_t actionProperty{8, 0, 0, 0x77};
  const Qor_Common_EA_SimulatedEvent_t simulated{0, 7};
  const struct {
    const char* name;
    std::function<uint32_t(uint32_t port)> call;
    Bytes request;
  } cases[] = {
      {"reset all", [](uint32_t port) { return Qor_Common_EA_ResetAll(port); }, words({0})},
      {"allocate event by handle", [](uint32_t port) { return Qor_Common_EA_AllocateEventByHandle(port, 7); },
       words({14, 0x100, 7})},
      {"allocate action by handle", [](uint32_t port) { return Qor_Common_EA_AllocateActionByHandle(port, 8); },
       words({15, 0x100, 8})},
      {"init event", [&](uint32_t port) { return Qor_Common_EA_InitEvent(port, &channelEvent); },
       words({3, 7, 0x500, 3, 0})},
      {"init action", [&](uint32_t port) { return Qor_Common_EA_InitAction(port, &channelAction); },
       words({4, 8, 0x200}) + Bytes{1, 1, 0, 0} + words({0x99})},
      {"assign, event first", [](uint32_t port) { return Qor_Common_EA_AssignActionToEvent(port, 8, 7); },
       words({5, 7, 8})},
      {"delete event", [](uint32_t port) { return Qor_Common_EA_DeleteEvent(port, 1, 7); }, words({8, 1, 7})},
      {"delete action", [](uint32_t port) { return Qor_Common_EA_DeleteAction(port, 0, 8); }, words({9, 0, 8})},
      {"execute", [](uint32_t port) { return Qor_Common_EA_ExecuteAction(port, 8); }, words({10, 8})},
      {"cancel", [](uint32_t port) { return Qor_Common_EA_CancelAction(port, 8); }, words({11, 8})},
      {"set event property", [&](uint32_t port) { return Qor_Common_EA_SetEventProperty(port, &eventProperty); },
       words({12, 7, 5, 0xABCD})},
      {"set action property", [&](uint32_t port) { return Qor_Common_EA_SetActionProperty(port, &actionProperty); },
       words({16, 8, 0, 0x77})},
      {"simulate", [&](uint32_t port) { return Qor_Common_EA_SimulateEvent(port, &simulated); }, words({18, 0, 7})},
  };
  // Answers echo the sub-function: its low byte keys the answer.
  for (const auto& item : cases)
    device_->expect(kEngine, item.request).answer(Bytes(item.request.begin(), item.request.begin() + 4));
  const uint32_t port = open();
  for (const auto& item : cases) EXPECT_EQ(item.call(port), 0u) << item.name << ": " << Qor_GetLastErrorDescription();
}

TEST_F(EventActionRoad, TheLongestEventDescriptionTravelsWhole) {
  Qor_Common_EA_EventConfig_t event{};
  event.handle = 9;
  event.eventType = 0x702;
  event.frame.count = 255;
  event.frame.dataLength = 255;
  event.frame.thirdByte = 0x33;
  event.frame.word = 0x4455;
  Bytes identifiers;
  for (uint32_t i = 0; i < 255; ++i) {
    event.frame.identifiers[i] = 0x700 + i;
    identifiers = identifiers + words({0x700 + i});
  }
  memset(event.frame.data, 0xDA, sizeof event.frame.data);
  memset(event.frame.mask, 0x3C, sizeof event.frame.mask);
  const Bytes request = words({3, 9, 0x702}) + Bytes{255, 0, 255, 0x33} + words({0x4455}) + identifiers +
                        Bytes(255, 0xDA) + Bytes(255, 0x3C);
  ASSERT_EQ(request.size(), 1550u);
  device_->expect(kEngine, request).answer(words({3}));
  const uint32_t port = open();
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port, &parameterLength), 0u);
  ASSERT_GE(parameterLength, 1550u) << "the fixture's model must carry the longest request";
  EXPECT_EQ(Qor_Common_EA_InitEvent(port, &event), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(EventActionRoad, PropertiesComeBackDecoded) {
  device_->expect(kEngine, words({13, 0x501, 5})).answer(words({13, 0x501, 5, 0x12345678}));
  device_->expect(kEngine, words({17, 3, 0})).answer(words({17, 3, 0, 77}));
  const uint32_t port = open();
  const Qor_Common_EA_Property_t askEvent{0x501, 5, 0, 0xFFFF};  // the value asked with is not sent
  Qor_Common_EA_Property_t got{0, 0, 0xEEEE, 0};
  ASSERT_EQ(Qor_Common_EA_GetEventProperty(port, &askEvent, &got), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(got.handle, 0x501u);
  EXPECT_EQ(got.propertyId, 5);
  EXPECT_EQ(got.reserved6, 0);
  EXPECT_EQ(got.value, 0x12345678u);
  const Qor_Common_EA_Property_t askAction{3, 0, 0, 0};
  ASSERT_EQ(Qor_Common_EA_GetActionProperty(port, &askAction, &got), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(got.handle, 3u);
  EXPECT_EQ(got.value, 77u);
}

TEST_F(EventActionRoad, AnAnswerWithAPropertyIdOutOfRangeWritesNothing) {
  device_->expect(kEngine, words({13, 4, 0})).answer(words({13, 4, 6, 55}));
  device_->expect(kEngine, words({17, 4, 0})).answer(words({17, 4, 1, 55}));
  const uint32_t port = open();
  const Qor_Common_EA_Property_t ask{4, 0, 0, 0};
  Qor_Common_EA_Property_t got{1, 2, 3, 4};
  EXPECT_EQ(Qor_Common_EA_GetEventProperty(port, &ask, &got), kInvalidParameter);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02010007 - COMMON - invalid parameter - event property id 6 is unknown");
  EXPECT_EQ(Qor_Common_EA_GetActionProperty(port, &ask, &got), kInvalidParameter);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02010007 - COMMON - invalid parameter - action property id 1 is unknown");
  EXPECT_EQ(got.handle, 1u);
  EXPECT_EQ(got.propertyId, 2);
  EXPECT_EQ(got.value, 4u);
}

TEST_F(EventActionRoad, AnswersShorterThanWhatIsReadAreRefused) {
  // The handle lies at 8 of an allocation's answer, a property answer has 16 bytes.
  device_->expect(kEngine, words({1, 0x100})).answer(words({1, 0x100}) + Bytes{1, 2, 3});
  device_->expect(kEngine, words({13, 4, 0})).answer(words({13, 4, 0}) + Bytes{1, 2, 3});
  const uint32_t port = open();
  uint32_t handle = 0xEEEE;
  EXPECT_EQ(Qor_Common_EA_AllocateEvent(port, &handle), 0x02010003u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02010003 - COMMON - invalid response length - response of 11 bytes is too short");
  EXPECT_EQ(handle, 0xEEEEu);
  const Qor_Common_EA_Property_t ask{4, 0, 0, 0};
  Qor_Common_EA_Property_t got{1, 2, 3, 4};
  EXPECT_EQ(Qor_Common_EA_GetEventProperty(port, &ask, &got), 0x02010003u);
  EXPECT_EQ(got.value, 4u);
}

TEST_F(EventActionRoad, TheFirmwaresFailuresComeBackUnchanged) {
  device_->expect(kEngine, words({1, 0x100})).fail(0x7801, "no free event");
  device_->expect(kEngine, words({10, 3})).fail(0x7802, "no such action");
  const uint32_t port = open();
  uint32_t handle = 0xEEEE;
  EXPECT_EQ(Qor_Common_EA_AllocateEvent(port, &handle), 0x7801u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x00007801 - FW - no free event");
  EXPECT_EQ(handle, 0xEEEEu);
  EXPECT_EQ(Qor_Common_EA_ExecuteAction(port, 3), 0x7802u);
}

TEST_F(EventActionRoad, RefusalsSendNothing) {
  const Qor_Common_EA_Property_t reserved{1, 0, 1, 0};
  const Qor_Common_EA_Property_t eventId6{1, 6, 0, 0};
  const Qor_Common_EA_Property_t actionId1{1, 1, 0, 0};
  const Qor_Common_EA_SimulatedEvent_t flagged{1, 7};
  Qor_Common_EA_ActionConfig_t mode3{};
  mode3.actionType = 0x200;
  mode3.channel = {1, 3, 0, 0};
  Qor_Common_EA_EventConfig_t unknownEvent{};
  unknownEvent.eventType = 0x701;
  Qor_Common_EA_Property_t out{};
  const struct {
    std::function<uint32_t(uint32_t port)> call;
    uint32_t code;
    const char* text;  // after "0x... - COMMON - "; nullptr: not compared
  } cases[] = {
      {[](uint32_t port) { return Qor_Common_EA_AllocateEvent(port, nullptr); }, kInvalidParameter,
       "invalid parameter - 'handle' is NULL"},
      {[](uint32_t port) { return Qor_Common_EA_InitEvent(port, nullptr); }, kInvalidParameter,
       "invalid parameter - 'event' is NULL"},
      {[](uint32_t port) { return Qor_Common_EA_SimulateEvent(port, nullptr); }, kInvalidParameter,
       "invalid parameter - 'event' is NULL"},
      {[&](uint32_t port) { return Qor_Common_EA_GetEventProperty(port, &eventId6, nullptr); }, kInvalidParameter,
       "invalid parameter - 'result' is NULL"},
      {[&](uint32_t port) { return Qor_Common_EA_InitEvent(port, &unknownEvent); }, kInvalidParameter,
       "invalid parameter - event type 0x701 is unknown"},
      {[&](uint32_t port) { return Qor_Common_EA_InitAction(port, &mode3); }, 0x02010005, nullptr},
      {[](uint32_t port) { return Qor_Common_EA_DeleteEvent(port, 2, 1); }, 0x02010004, nullptr},
      {[](uint32_t port) { return Qor_Common_EA_DeleteAction(port, 2, 1); }, 0x02010004, nullptr},
      {[&](uint32_t port) { return Qor_Common_EA_SimulateEvent(port, &flagged); }, 0x02010004, nullptr},
      {[&](uint32_t port) { return Qor_Common_EA_SetEventProperty(port, &reserved); }, kInvalidParameter,
       "invalid parameter - reserved bytes have to be zero"},
      {[&](uint32_t port) { return Qor_Common_EA_GetEventProperty(port, &eventId6, &out); }, kInvalidParameter,
       "invalid parameter - event property id 6 is unknown"},
      {[&](uint32_t port) { return Qor_Common_EA_SetActionProperty(port, &actionId1); }, kInvalidParameter,
       "invalid parameter - action property id 1 is unknown"},
      {[](uint32_t) { return Qor_Common_EA_ResetAll(QOR_MAX_PORTS); }, QOR_ERR_API_INVALID_PORT_HANDLE, nullptr},
  };
  // The only request: a refusal that sent one would meet this expectation instead.
  device_->expect(kEngine, words({0})).answer(words({0}));
  const uint32_t port = open();
  for (const auto& item : cases) {
    const uint32_t code = item.call(port);
    EXPECT_EQ(code, item.code);
    if (item.text != nullptr) {
      char expected[160];
      snprintf(expected, sizeof expected, "0x%08X - COMMON - %s", item.code, item.text);
      EXPECT_STREQ(Qor_GetLastErrorDescription(), expected);
    }
  }
  EXPECT_EQ(Qor_Common_EA_ResetAll(port), 0u) << Qor_GetLastErrorDescription();
}

}  // namespace
}  // namespace qor::test
