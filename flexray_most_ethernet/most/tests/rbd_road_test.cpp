// The ring break diagnosis from the library through the daemon to an emulated MOST controller: the records
// byte-exact, the refusals that send nothing, the port state and responses read from the bytes that arrived, and both
// asynchronous triples.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kRbd = 0x25;
constexpr uint32_t kInvalidLevel = 0x02040301, kInvalidState = 0x02040302;

const Bytes kPortStateRequest{2, 0, 0, 0}, kResponsesRequest{6, 0, 0, 0};

Bytes portStateAnswer(uint8_t flags, uint8_t rbdState) {
  return Record().u8(2).zeros(3).u8(flags).zeros(3).u64(0x1111111111111111).u64(0x2222222222222222).u64(
      0x3333333333333333).u8(rbdState).zeros(3);
}
Bytes responsesAnswer(uint8_t valid, uint8_t state, uint8_t lockState, uint8_t count, const Bytes& responses) {
  return Record().u8(6).zeros(3).u8(valid).zeros(3).u8(state).u8(lockState).u8(count).u8(0).bytes(responses);
}

using RbdRoad = MostRoad;

TEST_F(RbdRoad, ControlRecordsGoOutByteExact) {
  const Bytes types{0, 3, 1};
  const Bytes sixty(60, 2);
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes request;
  };
  const Case cases[] = {
      {"reset", [](uint32_t p) { return Qor_Most_Rbd_Reset(p); }, {0, 0, 0, 0}},
      {"port output 1", [](uint32_t p) { return Qor_Most_Rbd_SetPortOutput(p, 1); }, {1, 0, 0, 0, 1, 0, 0, 0}},
      {"system state 1", [](uint32_t p) { return Qor_Most_Rbd_SetSystemState(p, 1); }, {5, 0, 0, 0, 1, 0, 0, 0}},
      {"initiate", [](uint32_t p) { return Qor_Most_Rbd_Initiate(p, 1, 0x01020304, 0xA0B0C0D0, 0x7F); },
       Record().u8(4).zeros(3).u8(1).zeros(3).u32(0x01020304).u32(0xA0B0C0D0).u8(0x7F).zeros(3)},
      {"three responses", [&](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 1, 0x44, 3, types.data()); },
       Record().u8(3).zeros(3).u8(1).zeros(3).u8(3).u8(0x44).u16(0).bytes(types).zeros(57)},
      {"no responses", [](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 0, 0, 0, nullptr); },
       Record().u8(3).zeros(3).u8(0).zeros(3).u8(0).u8(0).u16(0).zeros(60)},
      {"sixty responses", [&](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 0, 9, 60, sixty.data()); },
       Record().u8(3).zeros(3).u8(0).zeros(3).u8(60).u8(9).u16(0).bytes(sixty)},
  };
  for (const Case& c : cases) device_->expect(kRbd, c.request).answer(Bytes{c.request[0], 0, 0, 0});
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastError();
}

TEST_F(RbdRoad, RefusalsSendNothingAndSayWhy) {
  const Bytes typesWithA4{0, 1, 4, 5};
  const Bytes many(61, 0);
  const Refusal cases[] = {
      {"port output 2", [](uint32_t p) { return Qor_Most_Rbd_SetPortOutput(p, 2); }, kInvalidLevel, "2"},
      {"system state 2", [](uint32_t p) { return Qor_Most_Rbd_SetSystemState(p, 2); }, kInvalidState,
       "Invalid status: 2"},
      {"initiate flags 2", [](uint32_t p) { return Qor_Most_Rbd_Initiate(p, 2, 0, 0, 0); }, kUnknownFlag, "2"},
      {"responses flags 3", [&](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 3, 0, 61, many.data()); },
       kUnknownFlag, "3"},
      {"61 responses", [&](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 0, 0, 61, many.data()); },
       kInvalidDataLength, "Invalid numberOfResponses: 61"},
      {"type 4 at index 2", [&](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 0, 0, 4, typesWithA4.data()); },
       kInvalidParameter, "unknown response type ('4') in response 2"},
      {"no types", [](uint32_t p) { return Qor_Most_Rbd_SetResponses(p, 0, 0, 1, nullptr); }, kInvalidParameter,
       "'types' is NULL"},
  };
  expectRefusals(port_, cases);
}

TEST_F(RbdRoad, ThePortStateIsWrittenBeforeItsRbdStateIsChecked) {
  Bytes short32 = portStateAnswer(0, 0);
  short32.resize(32);
  device_->expect(kRbd, kPortStateRequest).answer(portStateAnswer(0xFF, 6));
  device_->expect(kRbd, kPortStateRequest).answer(portStateAnswer(0x05, 7));
  device_->expect(kRbd, kPortStateRequest).answer(short32);
  uint8_t rbdState = 0xEE;
  uint32_t state = 0;
  uint64_t value1 = 0, value2 = 0, value3 = 0;
  ASSERT_EQ(Qor_Most_Rbd_GetPortState(port_, &rbdState, &state, &value1, &value2, &value3), 0u) << lastError();
  EXPECT_EQ(rbdState, 6u);
  EXPECT_EQ(state, 0x1Fu);
  EXPECT_EQ(value1, 0x1111111111111111u);
  EXPECT_EQ(value2, 0x2222222222222222u);
  EXPECT_EQ(value3, 0x3333333333333333u);

  rbdState = 0xEE;
  value1 = 0;
  EXPECT_EQ(Qor_Most_Rbd_GetPortState(port_, &rbdState, &state, &value1, &value2, &value3), kInvalidState);
  expectText("revceived unknown rbd state '7' from firmware");
  EXPECT_EQ(rbdState, 0xEEu);
  EXPECT_EQ(state, 5u);
  EXPECT_EQ(value1, 0x1111111111111111u);

  state = 0xEE;
  EXPECT_EQ(Qor_Most_Rbd_GetPortState(port_, &rbdState, &state, &value1, &value2, &value3), kInvalidResponseLength);
  expectText("32");
  EXPECT_EQ(state, 0xEEu);
}

TEST_F(RbdRoad, ResponsesAreCountedFromTheBytesThatArrived) {
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 6, 2, 3, {1, 2, 3}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 0, 0, 0, {}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 0, 0, 10, {9, 8, 7, 6}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 0, 0, 5, {1, 1, 1, 1, 1}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(0, 1, 1, 2, {5, 5}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 7, 0, 0, {}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 0, 3, 0, {}));
  device_->expect(kRbd, kResponsesRequest).answer(Record().u8(6).zeros(3).u8(1).zeros(3).u8(0).u8(0).u8(0));

  uint32_t valid = 0;
  uint8_t state = 0xEE, lockState = 0xEE, count = 10;
  uint8_t responses[10] = {};
  ASSERT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), 0u) << lastError();
  EXPECT_EQ(valid, 1u);
  EXPECT_EQ(state, 6u);
  EXPECT_EQ(lockState, 2u);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(Bytes(responses, responses + 3), (Bytes{1, 2, 3}));

  count = 0;
  ASSERT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, nullptr), 0u) << lastError();
  EXPECT_EQ(count, 0u);

  count = 10;
  ASSERT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), 0u) << lastError();
  EXPECT_EQ(count, 4u) << "ten announced, four arrived";
  EXPECT_EQ(Bytes(responses, responses + 4), (Bytes{9, 8, 7, 6}));

  count = 2;
  EXPECT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), kBufferUndersized);
  expectText("Bytes needed: 5");
  EXPECT_EQ(count, 2u);

  count = 10;
  responses[0] = 0xEE;
  ASSERT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), 0u) << lastError();
  EXPECT_EQ(valid, 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(responses[0], 0xEEu) << "responses that are not valid are not copied";

  count = 10;
  EXPECT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), kInvalidState);
  expectText("received unknown state '7'");
  EXPECT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), kInvalidState);
  expectText("received unknown lock state '3'");
  EXPECT_EQ(Qor_Most_Rbd_GetResponses(port_, &valid, &state, &lockState, &count, responses), kInvalidResponseLength);
  expectText("11");
  EXPECT_EQ(count, 10u);
}

Inbox gRbd;

void portStateArrived(uint32_t, uint8_t rbdState, uint32_t state, uint64_t value1, uint64_t, uint64_t value3) {
  gRbd.put("port state " + std::to_string(rbdState) + " " + std::to_string(state) + " " + std::to_string(value1 & 0xFF) +
           " " + std::to_string(value3 & 0xFF));
}
void responsesArrived(uint32_t, uint32_t valid, uint8_t state, uint8_t lockState, uint8_t count,
                      const uint8_t* responses) {
  std::string entry = "responses " + std::to_string(valid) + " " + std::to_string(state) + " " +
                      std::to_string(lockState) + " " + std::to_string(count) + ":";
  for (uint8_t i = 0; i < count; ++i) entry += " " + std::to_string(responses[i]);
  gRbd.put(entry);
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gRbd.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(RbdRoad, AsynchronousReadingsReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Rbd_GetPortState_Async_AddCallback(port_, portStateArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Rbd_GetResponses_Async_AddCallback(port_, responsesArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Rbd_GetResponses_Async_AddCallback(port_, nullptr), kInvalidParameter);

  Bytes short32 = portStateAnswer(0, 0);
  short32.resize(32);
  device_->expect(kRbd, kPortStateRequest).answer(portStateAnswer(0x03, 2));
  device_->expect(kRbd, kPortStateRequest).answer(portStateAnswer(0x03, 7));
  device_->expect(kRbd, kPortStateRequest).answer(short32);
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 4, 1, 9, {7, 8}));
  device_->expect(kRbd, kResponsesRequest).answer(responsesAnswer(1, 0, 3, 0, {}));
  const std::function<uint32_t()> requests[] = {
      [&] { return Qor_Most_Rbd_GetPortState_Async(port_); }, [&] { return Qor_Most_Rbd_GetPortState_Async(port_); },
      [&] { return Qor_Most_Rbd_GetPortState_Async(port_); }, [&] { return Qor_Most_Rbd_GetResponses_Async(port_); },
      [&] { return Qor_Most_Rbd_GetResponses_Async(port_); },
  };
  for (size_t i = 0; i < std::size(requests); ++i) {
    ASSERT_EQ(requests[i](), 0u) << lastError();
    ASSERT_TRUE(gRbd.waitFor(i + 1));
  }
  const std::string portStateError = "'Qor_Most_Rbd_GetPortState_Async' error" + std::string(1, '\0');
  const std::string responsesError = "'Qor_Most_Rbd_GetResponses_Async' error" + std::string(1, '\0');
  EXPECT_EQ(gRbd.entries, (std::vector<std::string>{
                              "port state 2 3 17 51",
                              "error " + std::to_string(kInvalidResponseParameter) + " " + portStateError,
                              "error " + std::to_string(kInvalidResponseLength) + " " + portStateError,
                              "responses 1 4 1 2: 7 8",
                              "error " + std::to_string(kInvalidResponseParameter) + " " + responsesError,
                          }));
  EXPECT_EQ(Qor_Most_Rbd_GetPortState_Async_RemoveCallback(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Rbd_GetResponses_Async_RemoveCallback(port_), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
