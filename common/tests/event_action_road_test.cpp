// The event/action engine from the library through the daemon to an emulated device: requests byte-exact, answers
// decoded, refusals that send nothing, and the device's own failures passed on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "interface_fixture.hpp"
#include "qor_common_event_action.h"
#include "qor_emulator/frame.hpp"

namespace qor::test {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint8_t kEngineCommand = 0x78;
constexpr uint32_t kFirstHandle = 0x501;

Bytes words(std::initializer_list<uint32_t> values) {
  Bytes bytes;
  for (uint32_t value : values) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
  }
  return bytes;
}

// The firmware's engine as far as these tests need it: handles counted up from kFirstHandle, properties kept by
// handle and id. Answers begin with the sub-function, whose low byte is the control byte.
class EngineModel {
 public:
  Reply answer(const ReceivedFrame& frame) {
    const uint32_t sub = frame.parameterWord(0);
    const uint32_t handle = frame.parameterWord(4);
    const auto id = static_cast<uint16_t>(frame.parameterWord(8));
    switch (sub) {
      case 1:
      case 2:
        return frame.response(words({sub, 0x100, nextHandle_++}));
      case 12:
      case 16:
        properties_[{sub, handle, id}] = frame.parameterWord(12);
        break;
      case 13:
      case 17:  // kept under the set's sub-function
        return frame.response(words({sub, handle, id, properties_[{sub - 1, handle, id}]}));
    }
    return frame.response(words({sub}));
  }

 private:
  uint32_t nextHandle_ = kFirstHandle;
  std::map<std::tuple<uint32_t, uint32_t, uint16_t>, uint32_t> properties_;
};

class EventActionRoad : public InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    device_->onCommand(kEngineCommand, [this](const ReceivedFrame& frame) { return engine_.answer(frame); });
    port_ = open();
    device_->recorder().clear();
  }

  void answerWith(std::function<Reply(const ReceivedFrame&)> answer) {
    device_->onCommand(kEngineCommand, std::move(answer));
  }

  // The parameters of the last command 0x78 the device received, byte-exact.
  Bytes lastRequest() const {
    const auto frames = device_->recorder().frames();
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
      if (frame->command() == kEngineCommand) return Bytes(frame->parameters().begin(), frame->parameters().end());
    }
    return {};
  }

  size_t engineRequests() const {
    size_t count = 0;
    for (const auto& frame : device_->recorder().frames()) count += frame.command() == kEngineCommand;
    return count;
  }

  EngineModel engine_;
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(EventActionRoad, AllocationsReturnTheFirmwaresHandles) {
  uint32_t event = 0, action = 0;
  ASSERT_EQ(Qor_Common_EA_AllocateEvent(port_, &event), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(lastRequest(), words({1, 0x100}));
  ASSERT_EQ(Qor_Common_EA_AllocateAction(port_, &action), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(lastRequest(), words({2, 0x100}));
  EXPECT_EQ(event, kFirstHandle);
  EXPECT_EQ(action, kFirstHandle + 1);
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
  const Qor_Common_EA_Property_t property{7, 5, 0, 0xABCD};
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
       Bytes{4, 0, 0, 0, 8, 0, 0, 0, 0, 2, 0, 0, 1, 1, 0, 0, 0x99, 0, 0, 0}},
      {"assign, event first", [](uint32_t port) { return Qor_Common_EA_AssignActionToEvent(port, 8, 7); },
       words({5, 7, 8})},
      {"delete event", [](uint32_t port) { return Qor_Common_EA_DeleteEvent(port, 1, 7); }, words({8, 1, 7})},
      {"delete action", [](uint32_t port) { return Qor_Common_EA_DeleteAction(port, 0, 8); }, words({9, 0, 8})},
      {"execute", [](uint32_t port) { return Qor_Common_EA_ExecuteAction(port, 8); }, words({10, 8})},
      {"cancel", [](uint32_t port) { return Qor_Common_EA_CancelAction(port, 8); }, words({11, 8})},
      {"set event property", [&](uint32_t port) { return Qor_Common_EA_SetEventProperty(port, &property); },
       words({12, 7, 5, 0xABCD})},
      {"simulate", [&](uint32_t port) { return Qor_Common_EA_SimulateEvent(port, &simulated); }, words({18, 0, 7})},
  };
  for (const auto& item : cases) {
    EXPECT_EQ(item.call(port_), 0u) << item.name << ": " << Qor_GetLastErrorDescription();
    EXPECT_EQ(lastRequest(), item.request) << item.name;
  }
}

TEST_F(EventActionRoad, TheLongestEventDescriptionTravelsWhole) {
  Qor_Common_EA_EventConfig_t event{};
  event.handle = 9;
  event.eventType = 0x702;
  event.frame.count = 255;
  event.frame.dataLength = 255;
  for (uint32_t i = 0; i < 255; ++i) event.frame.identifiers[i] = i;
  memset(event.frame.mask, 0xFF, sizeof event.frame.mask);
  ASSERT_EQ(Qor_Common_EA_InitEvent(port_, &event), 0u) << Qor_GetLastErrorDescription();
  const Bytes request = lastRequest();
  ASSERT_EQ(request.size(), 1550u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 16), (Bytes{3, 0, 0, 0, 9, 0, 0, 0, 2, 7, 0, 0, 255, 0, 255, 0}));
  EXPECT_EQ(Bytes(request.begin() + 20 + 4 * 254, request.begin() + 20 + 4 * 255), words({254}));
  EXPECT_EQ(request.back(), 0xFF);
}

TEST_F(EventActionRoad, PropertiesComeBackDecoded) {
  const Qor_Common_EA_Property_t set{kFirstHandle, 5, 0, 0x12345678};
  ASSERT_EQ(Qor_Common_EA_SetEventProperty(port_, &set), 0u) << Qor_GetLastErrorDescription();
  const Qor_Common_EA_Property_t ask{kFirstHandle, 5, 0, 0};
  Qor_Common_EA_Property_t got{0, 0, 0xEEEE, 0};
  ASSERT_EQ(Qor_Common_EA_GetEventProperty(port_, &ask, &got), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(lastRequest(), words({13, kFirstHandle, 5}));
  EXPECT_EQ(got.handle, kFirstHandle);
  EXPECT_EQ(got.propertyId, 5);
  EXPECT_EQ(got.reserved6, 0);
  EXPECT_EQ(got.value, 0x12345678u);

  const Qor_Common_EA_Property_t actionSet{3, 0, 0, 77};
  ASSERT_EQ(Qor_Common_EA_SetActionProperty(port_, &actionSet), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(lastRequest(), words({16, 3, 0, 77}));
  ASSERT_EQ(Qor_Common_EA_GetActionProperty(port_, &actionSet, &got), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(lastRequest(), words({17, 3, 0}));
  EXPECT_EQ(got.value, 77u);
}

TEST_F(EventActionRoad, AnAnswerWithAPropertyIdOutOfRangeWritesNothing) {
  struct Case {
    uint32_t sub;
    uint16_t answeredId;
    const char* text;
  };
  const Case cases[] = {
      {13, 6, "0x02010007 - COMMON - invalid parameter - event property id 6 is unknown"},
      {17, 1, "0x02010007 - COMMON - invalid parameter - action property id 1 is unknown"},
  };
  for (const Case& item : cases) {
    answerWith([item](const ReceivedFrame& frame) {
      return frame.response(words({item.sub, frame.parameterWord(4), item.answeredId, 55}));
    });
    const Qor_Common_EA_Property_t ask{4, 0, 0, 0};
    Qor_Common_EA_Property_t got{1, 2, 3, 4};
    const uint32_t result = item.sub == 13 ? Qor_Common_EA_GetEventProperty(port_, &ask, &got)
                                           : Qor_Common_EA_GetActionProperty(port_, &ask, &got);
    EXPECT_EQ(result, 0x02010007u) << item.text;
    EXPECT_STREQ(Qor_GetLastErrorDescription(), item.text);
    EXPECT_EQ(got.handle, 1u);
    EXPECT_EQ(got.value, 4u);
  }
}

TEST_F(EventActionRoad, AnswersShorterThanWhatIsReadAreRefused) {
  // Allocations read the handle at 8, property reads 16 bytes.
  answerWith([](const ReceivedFrame& frame) {
    const Bytes whole = words({frame.parameterWord(0), frame.parameterWord(4), 0, 0});
    return frame.response(Bytes(whole.begin(), whole.begin() + (frame.parameterWord(0) == 1 ? 11 : 15)));
  });
  uint32_t handle = 0xEEEE;
  EXPECT_EQ(Qor_Common_EA_AllocateEvent(port_, &handle), 0x02010003u);
  EXPECT_EQ(handle, 0xEEEEu);
  const Qor_Common_EA_Property_t ask{4, 0, 0, 0};
  Qor_Common_EA_Property_t got{1, 2, 3, 4};
  EXPECT_EQ(Qor_Common_EA_GetEventProperty(port_, &ask, &got), 0x02010003u);
  EXPECT_EQ(got.value, 4u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(),
               "0x02010003 - COMMON - invalid response length - response of 15 bytes is too short");
}

TEST_F(EventActionRoad, TheFirmwaresFailuresComeBackUnchanged) {
  answerWith([](const ReceivedFrame& frame) { return frame.negativeAcknowledge(0x7801, "no free event"); });
  uint32_t handle = 0xEEEE;
  EXPECT_EQ(Qor_Common_EA_AllocateEvent(port_, &handle), 0x7801u);
  EXPECT_STREQ(Qor_GetLastErrorDescription(), "0x00007801 - FW - no free event");
  EXPECT_EQ(handle, 0xEEEEu);
  EXPECT_EQ(Qor_Common_EA_ExecuteAction(port_, 3), 0x7801u);
}

TEST_F(EventActionRoad, RefusalsSendNothing) {
  const Qor_Common_EA_Property_t reserved{1, 0, 1, 0};
  const Qor_Common_EA_Property_t eventId6{1, 6, 0, 0};
  const Qor_Common_EA_Property_t actionId1{1, 1, 0, 0};
  const Qor_Common_EA_SimulatedEvent_t flagged{1, 7};
  Qor_Common_EA_ActionConfig_t mode3{};
  mode3.actionType = 0x200;
  mode3.channel = {1, 3, 0, 0};
  Qor_Common_EA_Property_t out{};
  const struct {
    std::function<uint32_t(uint32_t port)> call;
    uint32_t code;
    const char* text;
  } cases[] = {
      {[](uint32_t port) { return Qor_Common_EA_AllocateEvent(port, nullptr); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - 'handle' is NULL"},
      {[](uint32_t port) { return Qor_Common_EA_InitEvent(port, nullptr); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - 'event' is NULL"},
      {[&](uint32_t port) { return Qor_Common_EA_GetEventProperty(port, &eventId6, nullptr); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - 'result' is NULL"},
      {[&](uint32_t port) { return Qor_Common_EA_InitAction(port, &mode3); }, 0x02010005, nullptr},
      {[](uint32_t port) { return Qor_Common_EA_DeleteEvent(port, 2, 1); }, 0x02010004, nullptr},
      {[](uint32_t port) { return Qor_Common_EA_DeleteAction(port, 2, 1); }, 0x02010004, nullptr},
      {[&](uint32_t port) { return Qor_Common_EA_SimulateEvent(port, &flagged); }, 0x02010004, nullptr},
      {[&](uint32_t port) { return Qor_Common_EA_SetEventProperty(port, &reserved); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - reserved bytes have to be zero"},
      {[&](uint32_t port) { return Qor_Common_EA_GetEventProperty(port, &eventId6, &out); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - event property id 6 is unknown"},
      {[&](uint32_t port) { return Qor_Common_EA_SetActionProperty(port, &actionId1); }, 0x02010007,
       "0x02010007 - COMMON - invalid parameter - action property id 1 is unknown"},
      {[](uint32_t) { return Qor_Common_EA_ResetAll(QOR_MAX_PORTS); }, QOR_ERR_API_INVALID_PORT_HANDLE, nullptr},
  };
  for (const auto& item : cases) {
    EXPECT_EQ(item.call(port_), item.code);
    if (item.text != nullptr) {
      EXPECT_STREQ(Qor_GetLastErrorDescription(), item.text);
    }
  }
  EXPECT_EQ(engineRequests(), 0u);
}

}  // namespace
}  // namespace qor::test
