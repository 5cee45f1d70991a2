// Direct transport channels from the library through the daemon to an emulated controller: set-up records byte-exact,
// requests in segments, the state with its ranges, responses collected from hand-made piece streams (lying, empty,
// oversized pieces) and the waiting functions, which end with the result of their last poll.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"

namespace qor::test {
namespace {

constexpr uint8_t kTp = 0x82;
constexpr uint8_t kChannel = 3;
constexpr uint8_t kGuard = 0xEE;

Bytes head(uint8_t selector) { return Record().u8(selector).u8(kChannel).u16(0); }

Bytes stateRequest(uint8_t flag) { return Record().bytes(head(5)).u8(flag).zeros(3); }
Bytes stateAnswer(uint8_t flags, uint8_t state, uint8_t result = 0, uint8_t tpType = 2, uint8_t tpDirectType = 1) {
  return Record().bytes(head(5)).u8(flags).zeros(3).u8(state).u8(result).u8(tpType).u8(tpDirectType);
}
// A response piece; pieceLength may lie.
Bytes pieceAnswer(uint8_t result, uint8_t state, bool more, const Bytes& piece,
                  std::optional<uint16_t> pieceLength = std::nullopt) {
  return Record().bytes(head(6)).zeros(4).u8(result).u8(state).zeros(2)
      .u16(pieceLength.value_or(static_cast<uint16_t>(piece.size()))).u16(more ? 1 : 0).bytes(piece);
}
Bytes segment(uint8_t flags, uint8_t mode, const Bytes& chunk) {
  return Record().bytes(head(3)).u8(flags).zeros(3).u8(mode).u8(0).u16(chunk.size()).bytes(chunk);
}
Bytes startOrStop(uint8_t selector, uint8_t mode, const Bytes& data) {
  return Record().bytes(head(selector)).u8(mode).u8(0).u16(data.size()).bytes(data);
}

using TpDirectRoad = MostRoad;

TEST_F(TpDirectRoad, ChannelsAreSetUpWithTheirRecords) {
  device_->expect(kTp, head(0)).answer(head(0));
  device_->expect(kTp, Record().bytes(head(1)).zeros(4).u8(1).zeros(3)).answer(head(1));
  device_->expect(kTp, Record().bytes(head(1)).zeros(8)).answer(head(1));
  device_->expect(kTp, startOrStop(2, 1, {7, 8, 9})).answer(head(2));
  device_->expect(kTp, startOrStop(4, 0, slice(0, 4076))).answer(head(4));
  device_->expect(kTp, Record().bytes(head(7)).u16(0).u8(1).u8(0)).answer(head(7));
  device_->expect(kTp, Record().bytes(head(7)).u16(0).u8(0).u8(0)).answer(head(7));
  const Bytes data = {7, 8, 9};
  const Bytes longest = slice(0, 4077);
  EXPECT_EQ(Qor_Most_TpDirect_Reset(port_, kChannel), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_Init_Normal(port_, kChannel), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_Init_Off(port_, kChannel), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_InitiateStart(port_, kChannel, 1, data.data(), 3), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_InitiateStop(port_, kChannel, 0, longest.data(), 4076), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_GetResponse_Async_Enable(port_, kChannel), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_GetResponse_Async_Disable(port_, kChannel), 0u) << lastError();

  // 4084 bytes a record: 4076 of data after the head.
  EXPECT_EQ(Qor_Most_TpDirect_InitiateStart(port_, kChannel, 0, longest.data(), 4077), kInvalidDataLength);
  expectText("4077");
  EXPECT_EQ(Qor_Most_TpDirect_InitiateStop(port_, kChannel, 2, data.data(), 3), kUnknownMode);
  expectText("2");
  EXPECT_EQ(Qor_Most_TpDirect_InitiateStart(port_, kChannel, 0, nullptr, 3), kInvalidParameter);
}

TEST_F(TpDirectRoad, ARequestGoesOutInSegmentsThatSayWhereTheyStand) {
  const Bytes data = slice(0, 10000);
  device_->expect(kTp, segment(0, 1, slice(0, 4072))).answer(head(3));
  device_->expect(kTp, segment(2, 1, slice(4072, 4072))).answer(head(3));
  device_->expect(kTp, segment(3, 1, slice(8144, 1856))).answer(head(3));
  EXPECT_EQ(Qor_Most_TpDirect_QueueRequest(port_, kChannel, 1, data.data(), 10000), 0u) << lastError();

  device_->expect(kTp, segment(1, 0, {})).answer(head(3));
  EXPECT_EQ(Qor_Most_TpDirect_QueueRequest(port_, kChannel, 0, nullptr, 0), 0u) << lastError();

  const Bytes tooLong(65536);
  EXPECT_EQ(Qor_Most_TpDirect_QueueRequest(port_, kChannel, 0, tooLong.data(), 65536), kInvalidDataLength);
  expectText("65536");
  EXPECT_EQ(Qor_Most_TpDirect_QueueRequest(port_, kChannel, 2, data.data(), 1), kUnknownMode);
}

TEST_F(TpDirectRoad, TheStateIsStoredInOrderUpToTheFirstValueOutOfRange) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint32_t flags;
    uint8_t state, tpType, tpDirectType;
    uint32_t result;
  };
  const Case cases[] = {
      {"in range", stateAnswer(0xFF, 4, 0x55, 2, 1), 0, "", 3, 4, 2, 1, 0x55},
      {"state 5", stateAnswer(1, 5), kInvalidResponseParameter, "the state '5' of the response is unknown", 1,
       kGuard, kGuard, kGuard, 0xEEEE},
      {"tp type 3", stateAnswer(0, 2, 0, 3), kInvalidResponseParameter, "the tp type '3' of the response is unknown",
       0, 2, kGuard, kGuard, 0xEEEE},
      {"tp direct type 2", stateAnswer(0, 2, 0, 1, 2), kInvalidResponseParameter,
       "the tp direct type '2' of the response is unknown", 0, 2, 1, kGuard, 0xEEEE},
      {"11 bytes", cut(stateAnswer(0, 0), 11), kInvalidResponseLength, "11", 0xEEEE, kGuard, kGuard, kGuard, 0xEEEE},
  };
  for (const Case& c : cases) {
    device_->expect(kTp, stateRequest(1)).answer(c.answer);
    uint32_t result = 0xEEEE, flags = 0xEEEE;
    uint8_t tpType = kGuard, tpDirectType = kGuard, state = kGuard;
    EXPECT_EQ(Qor_Most_TpDirect_GetState(port_, kChannel, 1, &result, &tpType, &tpDirectType, &state, &flags), c.code)
        << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    EXPECT_EQ(flags, c.flags) << c.name;
    EXPECT_EQ(state, c.state) << c.name;
    EXPECT_EQ(tpType, c.tpType) << c.name;
    EXPECT_EQ(tpDirectType, c.tpDirectType) << c.name;
    EXPECT_EQ(result, c.result) << c.name;
  }
  uint32_t result = 0, flags = 0;
  uint8_t tpType = 0, tpDirectType = 0, state = 0;
  EXPECT_EQ(Qor_Most_TpDirect_GetState(port_, kChannel, 2, &result, &tpType, &tpDirectType, &state, &flags),
            kUnknownFlag);
  expectText("2");
  EXPECT_EQ(Qor_Most_TpDirect_GetState(port_, kChannel, 0, &result, nullptr, &tpDirectType, &state, &flags),
            kInvalidParameter);
}

TEST_F(TpDirectRoad, AResponseIsCollectedWithinTheCallersBuffer) {
  struct Case {
    const char* name;
    std::vector<Bytes> answers;
    uint32_t capacity;
    uint32_t code;
    const char* text;
    uint8_t state;
    uint32_t result;
    uint32_t length;
  };
  const Case cases[] = {
      {"one piece", {pieceAnswer(0, 1, false, slice(0, 5))}, 16, 0, "", 1, 0, 5},
      {"three pieces, the last result that is not 0 kept",
       {pieceAnswer(7, 0, true, slice(0, 4)), pieceAnswer(9, 0, true, slice(4, 4)),
        pieceAnswer(0, 4, false, slice(8, 2))},
       16, 0, "", 4, 9, 10},
      {"5 bytes for 4", {pieceAnswer(0, 3, false, slice(0, 5))}, 4, kBufferUndersized, "Bytes needed: 5", 3, 0,
       4},
      {"more than the buffer over several pieces",
       {pieceAnswer(0, 0, true, slice(0, 12)), pieceAnswer(0, 0, true, slice(12, 12)),
        pieceAnswer(0, 2, false, slice(24, 1))},
       16, kBufferUndersized, "Bytes needed: 25", 2, 0, 16},
      {"a piece longer than its answer", {pieceAnswer(0, 1, false, slice(0, 5), 6)}, 16, kInconsistentResponse, "",
       kGuard, 0xEEEE, 16},
      {"an empty piece with more to follow", {pieceAnswer(0, 1, true, {})}, 16, kInconsistentResponse, "", kGuard,
       0xEEEE, 16},
      {"state 5", {pieceAnswer(0, 5, false, slice(0, 2))}, 16, kInvalidResponseParameter,
       "the state '5' of the response is unknown", kGuard, 0xEEEE, 16},
      {"15 bytes", {cut(pieceAnswer(0, 0, false, {}), 15)}, 16, kInvalidResponseLength, "15", kGuard, 0xEEEE, 16},
  };
  for (const Case& c : cases) {
    for (const Bytes& answer : c.answers) device_->expect(kTp, head(6)).answer(answer);
    Bytes buffer(c.capacity + 16, kGuard);
    uint32_t result = 0xEEEE, length = c.capacity;
    uint8_t state = kGuard;
    EXPECT_EQ(Qor_Most_TpDirect_GetResponse(port_, kChannel, &result, &state, buffer.data(), &length), c.code)
        << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    EXPECT_EQ(state, c.state) << c.name;
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(length, c.length) << c.name;
    if (c.code == 0) {
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), slice(0, length)) << c.name;
    }
    EXPECT_EQ(Bytes(buffer.begin() + c.capacity, buffer.end()), Bytes(16, kGuard)) << c.name;
  }
}

// An emulated channel for the waiting functions: start, stop and segments are acknowledged; every state read answers
// with the next state of the script (the last one repeats).
class ScriptedChannel {
 public:
  explicit ScriptedChannel(std::vector<Bytes> states) : states_(std::move(states)) {}
  emulator::Handler handler() {
    return [this](const emulator::ReceivedFrame& frame) -> emulator::Reply {
      const uint8_t selector = frame.parameters()[0];
      std::lock_guard lock(mutex_);
      requests_.push_back(selector);
      if (selector != 5) return frame.response(head(selector));
      const size_t index = std::min(reads_++, states_.size() - 1);
      return frame.response(states_[index]);
    };
  }
  std::vector<uint8_t> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  std::mutex mutex_;  // the device's thread answers, the test reads
  std::vector<Bytes> states_;
  size_t reads_ = 0;
  std::vector<uint8_t> requests_;  // the selectors, in order
};

TEST_F(TpDirectRoad, WaitsEndWithTheResultOfTheirLastPoll) {
  const Bytes data = {1, 2};
  uint32_t result = 0;
  struct Case {
    const char* name;
    std::vector<Bytes> states;
    std::function<uint32_t()> call;
    uint32_t code;
    const char* text;
    std::vector<uint8_t> requests;
    uint32_t result;
  };
  const Case cases[] = {
      {"a request done after two busy polls", {stateAnswer(1, 0), stateAnswer(1, 0), stateAnswer(0, 0, 0x21)},
       [&] { return Qor_Most_TpDirect_Request(port_, kChannel, 1000, 0, data.data(), 2, &result); }, 0, "",
       {3, 5, 5, 5}, 0x21},
      {"a request with time-out 0 that is done at once", {stateAnswer(0, 0, 0x22)},
       [&] { return Qor_Most_TpDirect_Request(port_, kChannel, 0, 0, data.data(), 2, &result); }, 0, "", {3, 5},
       0x22},
      {"a request with time-out 0 that stays busy", {stateAnswer(1, 0, 0x23)},
       [&] { return Qor_Most_TpDirect_Request(port_, kChannel, 0, 0, data.data(), 2, &result); }, kUserTimeout,
       "TP TX timeout!", {3, 5}, 0x23},
      {"a stop done in state 1", {stateAnswer(1, 1), stateAnswer(0, 3), stateAnswer(0, 1, 0x24)},
       [&] { return Qor_Most_TpDirect_Stop(port_, kChannel, 1000, 0, nullptr, 0, &result); }, 0, "",
       {4, 5, 5, 5}, 0x24},
      {"a start on a started channel stops it first",
       {stateAnswer(0, 3), stateAnswer(0, 1), stateAnswer(1, 2), stateAnswer(0, 0, 0x25)},
       [&] { return Qor_Most_TpDirect_Start(port_, kChannel, 1000, 1, data.data(), 2, &result); }, 0, "",
       {5, 4, 5, 2, 5, 5}, 0x25},
      {"a start that stays in state 2", {stateAnswer(0, 0), stateAnswer(0, 2, 0x26)},
       [&] { return Qor_Most_TpDirect_Start(port_, kChannel, 5, 1, data.data(), 2, &result); }, kUserTimeout,
       "TP timeout!", {}, 0x26},
  };
  for (const Case& c : cases) {
    ScriptedChannel channel(c.states);
    device_->onCommand(kTp, channel.handler());
    result = 0;
    EXPECT_EQ(c.call(), c.code) << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    if (!c.requests.empty()) {
      EXPECT_EQ(channel.requests(), c.requests) << c.name;
    }
    EXPECT_EQ(result, c.result) << c.name;
    device_->onCommand(kTp, [](const emulator::ReceivedFrame&) { return emulator::Reply(); });
  }
}

TEST_F(TpDirectRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  uint32_t result = 0, flags = 0, length = 0;
  uint8_t byte = 0;
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_Most_TpDirect_Reset(p, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_Init_Normal(p, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_Init_Off(p, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_InitiateStart(p, 0, 0, nullptr, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_InitiateStop(p, 0, 0, nullptr, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_QueueRequest(p, 0, 0, nullptr, 0); },
      [&](uint32_t p) { return Qor_Most_TpDirect_GetState(p, 0, 0, &result, &byte, &byte, &byte, &flags); },
      [](uint32_t p) { return Qor_Most_TpDirect_GetState_Async(p, 0, 0); },
      [](uint32_t p) {
        return Qor_Most_TpDirect_GetState_Async_AddCallback(
            p, 0, [](uint32_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint32_t) {});
      },
      [](uint32_t p) { return Qor_Most_TpDirect_GetState_Async_RemoveCallback(p, 0); },
      [&](uint32_t p) { return Qor_Most_TpDirect_GetResponse(p, 0, &result, &byte, nullptr, &length); },
      [](uint32_t p) { return Qor_Most_TpDirect_GetResponse_Async_Enable(p, 0); },
      [](uint32_t p) { return Qor_Most_TpDirect_GetResponse_Async_Disable(p, 0); },
      [](uint32_t p) {
        return Qor_Most_TpDirect_GetResponse_Async_AddCallback(
            p, 0, [](uint32_t, uint8_t, uint32_t, uint8_t, const uint8_t*, uint32_t) {});
      },
      [](uint32_t p) { return Qor_Most_TpDirect_GetResponse_Async_RemoveCallback(p, 0); },
      [&](uint32_t p) { return Qor_Most_TpDirect_Request(p, 0, 0, 0, nullptr, 0, &result); },
      [&](uint32_t p) { return Qor_Most_TpDirect_Start(p, 0, 0, 0, nullptr, 0, &result); },
      [&](uint32_t p) { return Qor_Most_TpDirect_Stop(p, 0, 0, 0, nullptr, 0, &result); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

}  // namespace
}  // namespace qor::test
