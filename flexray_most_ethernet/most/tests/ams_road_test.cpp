// The AMS functions that poll, from the library through the daemon to an emulated controller: channels and their
// state, requests sent in segments, and responses reassembled from hand-made answer streams (whole, lost, repeated,
// lying and oversized pieces), with every refusal before the first segment.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"

namespace qor::test {
namespace {

constexpr uint8_t kAms = 0x23;
constexpr uint8_t kChannel = 2;
constexpr uint8_t kGuard = 0xEE;

Bytes head(uint8_t selector) { return Record().u8(selector).u8(kChannel).u16(0); }

// The answer of a response read (selector 5); chunkLength may lie about the chunk.
Bytes responseAnswer(uint8_t flags, uint32_t total, const Bytes& chunk, uint32_t status = 0,
                     std::optional<uint32_t> chunkLength = std::nullopt) {
  return Record().bytes(head(5)).u8(flags).zeros(3).u32(status).u16(0x0123).u8(0x45).u8(0x67).u16(0x89AB).u8(3)
      .u8(1).u32(total).u32(chunkLength.value_or(static_cast<uint32_t>(chunk.size()))).bytes(chunk);
}
// A continuation (selector 6).
Bytes pieceAnswer(bool last, const Bytes& piece, std::optional<uint32_t> pieceLength = std::nullopt) {
  return Record().bytes(head(6)).u8(last ? 1 : 0).zeros(3)
      .u32(pieceLength.value_or(static_cast<uint32_t>(piece.size()))).bytes(piece);
}

// A response record with guard bytes behind it.
struct GuardedResponse {
  Qor_Most_Ams_Response_t response;
  uint8_t guard[64];
};
std::unique_ptr<GuardedResponse> guardedResponse() {
  auto record = std::make_unique<GuardedResponse>();
  std::memset(record.get(), kGuard, sizeof *record);
  return record;
}
bool guardIntact(const GuardedResponse& record) {
  return std::all_of(std::begin(record.guard), std::end(record.guard), [](uint8_t b) { return b == kGuard; });
}

std::unique_ptr<Qor_Most_Ams_Message_t> message(uint32_t dataLength) {
  auto made = std::make_unique<Qor_Most_Ams_Message_t>();
  std::memset(made.get(), 0, sizeof *made);
  made->timeout = 250000;
  made->targetAddress = 0x0102;
  made->fblockId = 0x03;
  made->instanceId = 0x04;
  made->functionId = 0x0506;
  made->operationType = 15;
  made->messageType = 2;
  made->mode = 1;
  made->dataLength = dataLength;
  const Bytes data = slice(0, dataLength);
  std::copy(data.begin(), data.end(), made->data);
  return made;
}

Bytes firstSegment(const Qor_Most_Ams_Message_t& m, const Bytes& chunk) {
  return Record().bytes(head(2)).u32(m.timeout).u16(m.targetAddress).u8(m.fblockId).u8(m.instanceId)
      .u16(m.functionId).u8(m.operationType).u8(m.messageType).u8(m.mode).zeros(3).u32(m.dataLength)
      .u32(chunk.size()).bytes(chunk);
}
Bytes nextSegment(const Bytes& chunk) { return Record().bytes(head(3)).u32(chunk.size()).bytes(chunk); }
Bytes segmentAnswer(uint8_t selector, uint8_t flag) { return Record().bytes(head(selector)).u8(flag).zeros(3); }

using AmsRoad = MostRoad;

TEST_F(AmsRoad, ChannelsAreAllocatedFreedAndTheirStateRead) {
  const Bytes allocate = {0, 0, 0, 0};
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 1, 7, 0, 0});
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 0, 7, 0, 0});
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 1});
  uint8_t channel = 0;
  EXPECT_EQ(Qor_Most_Ams_GetChannel(port_, &channel), 0u) << lastError();
  EXPECT_EQ(channel, 7);
  EXPECT_EQ(Qor_Most_Ams_GetChannel(port_, &channel), kAmsNoFreeChannel);
  EXPECT_EQ(Qor_Most_Ams_GetChannel(port_, &channel), kInvalidResponseLength);
  expectText("5");

  device_->expect(kAms, head(1)).answer(head(1));
  EXPECT_EQ(Qor_Most_Ams_FreeChannel(port_, kChannel), 0u) << lastError();

  device_->expect(kAms, head(4)).answer(Record().bytes(head(4)).u8(0xFF).zeros(3).u32(0x50003));
  device_->expect(kAms, head(4)).answer(Record().bytes(head(4)).u8(1).zeros(3).u32(0x50000));
  device_->expect(kAms, head(4)).answer(cut(Record().bytes(head(4)).u8(1).zeros(3).u32(0), 11));
  uint32_t status = 0, state = 0;
  EXPECT_EQ(Qor_Most_Ams_GetState(port_, kChannel, &status, &state), 0u) << lastError();
  EXPECT_EQ(status, 0x50003u);
  EXPECT_EQ(state, 3u);
  EXPECT_EQ(Qor_Most_Ams_GetState(port_, kChannel, &status, &state), kInvalidResponseParameter);
  expectText("Status '327680' is unknown");
  EXPECT_EQ(Qor_Most_Ams_GetState(port_, kChannel, &status, &state), kInvalidResponseLength);
  expectText("11");
}

TEST_F(AmsRoad, ARequestGoesOutInSegmentsOfTheParameterLength) {
  // 4084 bytes a record: 4056 after the first segment's head, 4076 after a continuation's.
  const auto m = message(10000);
  device_->expect(kAms, firstSegment(*m, slice(0, 4056))).answer(segmentAnswer(2, 0));
  device_->expect(kAms, nextSegment(slice(4056, 4076))).answer(segmentAnswer(3, 1));
  device_->expect(kAms, nextSegment(slice(8132, 1868))).answer(segmentAnswer(3, 0xFE));
  uint32_t flag = 9;
  EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, m.get(), &flag), 0u) << lastError();
  EXPECT_EQ(flag, 1u);

  const auto empty = message(0);
  device_->expect(kAms, firstSegment(*empty, {})).answer(segmentAnswer(2, 0));
  EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, empty.get(), &flag), 0u) << lastError();
  EXPECT_EQ(flag, 0u);

  device_->expect(kAms, firstSegment(*m, slice(0, 4056))).answer(segmentAnswer(2, 0));
  device_->expect(kAms, nextSegment(slice(4056, 4076))).answer(cut(segmentAnswer(3, 0), 7));
  EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, m.get(), &flag), kInvalidResponseLength);
  expectText("7");
}

TEST_F(AmsRoad, EveryFieldIsCheckedBeforeTheFirstSegment) {
  struct Case {
    const char* name;
    std::function<void(Qor_Most_Ams_Message_t&)> change;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"reserved bytes 13 and 15", [](auto& m) { m.reserved[0] = m.reserved[2] = 1; }, kInvalidParameter,
       "Invalid reserved parameter byte: offset 15"},
      {"reserved byte 14", [](auto& m) { m.reserved[1] = 1; }, kInvalidParameter,
       "Invalid reserved parameter byte: offset 14"},
      {"65537 data bytes", [](auto& m) { m.dataLength = 65537; }, kInvalidDataLength, "65537"},
      {"operation type 16", [](auto& m) { m.operationType = 16; }, kUnknownOperationType, "16"},
      {"message type 3", [](auto& m) { m.messageType = 3; }, kAmsUnknownMessageType, "3"},
      {"mode 2", [](auto& m) { m.mode = 2; }, kUnknownMode, "2"},
  };
  uint32_t flag = 0;
  for (const Case& c : cases) {
    auto m = message(100);
    c.change(*m);
    EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, m.get(), &flag), c.code) << c.name;
    expectText(c.text);
  }
  EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, nullptr, &flag), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Ams_QueueRequest(port_, kChannel, message(0).get(), nullptr), kInvalidParameter);
}

TEST_F(AmsRoad, AResponseIsStoredOnlyWholeAndWithinItsRecord) {
  struct Case {
    const char* name;
    std::vector<Bytes> answers;  // the response read's, then the continuations'
    uint32_t code;
    const char* text;
    uint32_t state;
    uint32_t dataLength;
  };
  const Case cases[] = {
      {"whole in the first answer", {responseAnswer(3, 5, slice(0, 5))}, 0, "", 1, 5},
      {"a chunk and two pieces",
       {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, slice(4, 3)), pieceAnswer(true, slice(7, 3))}, 0, "",
       1, 10},
      {"nothing yet, a response pending", {responseAnswer(4, 0, {})}, 0, "", 2, 0},
      {"a lost piece", {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(true, slice(7, 3))}, kInconsistentResponse,
       "", 0, 0},
      {"a repeated piece",
       {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, slice(4, 3)), pieceAnswer(false, slice(4, 3)),
        pieceAnswer(true, slice(7, 3))},
       kInconsistentResponse, "", 0, 0},
      {"whole in the first answer but short of its total", {responseAnswer(3, 10, slice(0, 4))},
       kInconsistentResponse, "", 0, 0},
      {"a chunk longer than its answer, drained to the last piece",
       {responseAnswer(1, 10, slice(0, 4), 0, 8), pieceAnswer(false, slice(4, 3)), pieceAnswer(true, slice(7, 3))},
       kInconsistentResponse, "", 0, 0},
      {"a piece longer than its answer", {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, slice(4, 3), 100)},
       kInconsistentResponse, "", 0, 0},
      {"an empty piece that is not the last", {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, {})},
       kInconsistentResponse, "", 0, 0},
      {"70000 bytes, drained", {responseAnswer(1, 70000, slice(0, 4)), pieceAnswer(true, slice(4, 3))},
       kBufferUndersized, "Bytes needed: 70000", 0, 0},
      {"70000 bytes in one answer", {responseAnswer(3, 70000, slice(0, 4))}, kBufferUndersized,
       "Bytes needed: 70000", 0, 0},
      {"27 bytes", {cut(responseAnswer(3, 0, {}), 27)}, kInvalidResponseLength, "27", 0, 0},
      {"a piece of 11 bytes", {responseAnswer(1, 10, slice(0, 4)), cut(pieceAnswer(true, {}), 11)},
       kInvalidResponseLength, "11", 0, 0},
      {"an unknown status", {responseAnswer(3, 5, slice(0, 5), 0x80001)}, kInvalidResponseParameter,
       "Status '524289' is unknown", 1, 0},
  };
  for (const Case& c : cases) {
    device_->expect(kAms, head(5)).answer(c.answers.front());
    for (size_t i = 1; i < c.answers.size(); ++i) device_->expect(kAms, head(6)).answer(c.answers[i]);
    auto record = guardedResponse();
    Qor_Most_Ams_Response_t& response = record->response;
    EXPECT_EQ(Qor_Most_Ams_GetResponse(port_, kChannel, &response), c.code) << c.name << ": " << lastError();
    if (*c.text != 0) expectText(c.text);
    EXPECT_TRUE(guardIntact(*record)) << c.name;
    if (c.code != 0) continue;
    EXPECT_EQ(response.state, c.state) << c.name;
    EXPECT_EQ(response.dataLength, c.dataLength) << c.name;
    EXPECT_EQ(Bytes(response.data, response.data + response.dataLength), slice(0, c.dataLength)) << c.name;
    EXPECT_EQ(response.status, 0u) << c.name;
    EXPECT_EQ(response.sourceAddress, 0x0123);
    EXPECT_EQ(response.fblockId, 0x45);
    EXPECT_EQ(response.instanceId, 0x67);
    EXPECT_EQ(response.functionId, 0x89AB);
    EXPECT_EQ(response.operationType, 3);
    EXPECT_EQ(response.messageType, 1);
  }
}

TEST_F(AmsRoad, ARequestPollsUntilTheResponseIsNoLongerPending) {
  const auto m = message(3);
  device_->expect(kAms, firstSegment(*m, slice(0, 3))).answer(segmentAnswer(2, 0));
  device_->expect(kAms, head(5)).answer(responseAnswer(4, 0, {}));
  device_->expect(kAms, head(5)).answer(responseAnswer(3, 2, slice(0, 2)));
  auto record = guardedResponse();
  EXPECT_EQ(Qor_Most_Ams_Request(port_, kChannel, m.get(), &record->response), 0u) << lastError();
  EXPECT_EQ(record->response.state, 1u);
  EXPECT_EQ(record->response.dataLength, 2u);
}

// Answers every AMS request of the handler's device: segments with flag 0, response reads after a delay with the
// given answer.
emulator::Handler amsFirmware(Bytes response, std::chrono::milliseconds delay) {
  return [response, delay](const emulator::ReceivedFrame& frame) -> emulator::Reply {
    const uint8_t selector = frame.parameters()[0];
    if (selector != 5) return frame.response(segmentAnswer(selector, 0));
    return emulator::Reply().wait(delay).send(frame.response(response));
  };
}

TEST_F(AmsRoad, ARequestEndsWithTheResultOfItsLastPoll) {
  auto m = message(0);
  m->timeout = 999;  // a limit of 3 ms
  auto record = guardedResponse();

  // Found complete only after the limit: still the response, not a time-out.
  device_->onCommand(kAms, amsFirmware(responseAnswer(3, 2, slice(0, 2)), std::chrono::milliseconds(20)));
  EXPECT_EQ(Qor_Most_Ams_Request(port_, kChannel, m.get(), &record->response), 0u) << lastError();
  EXPECT_EQ(record->response.dataLength, 2u);

  device_->onCommand(kAms, amsFirmware(responseAnswer(4, 0, {}), std::chrono::milliseconds(1)));
  EXPECT_EQ(Qor_Most_Ams_Request(port_, kChannel, m.get(), &record->response), kUserTimeout);
  expectText("3");
}

TEST_F(AmsRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  auto m = message(0);
  auto record = guardedResponse();
  uint8_t channel = 0;
  uint32_t status = 0, state = 0, flag = 0;
  const PortCall calls[] = {
      [&](uint32_t p) { return Qor_Most_Ams_GetChannel(p, &channel); },
      [](uint32_t p) { return Qor_Most_Ams_GetChannel_Async(p); },
      [](uint32_t p) { return Qor_Most_Ams_GetChannel_Async_AddCallback(p, [](uint32_t, uint8_t) {}); },
      [](uint32_t p) { return Qor_Most_Ams_GetChannel_Async_RemoveCallback(p); },
      [](uint32_t p) { return Qor_Most_Ams_FreeChannel(p, 0); },
      [&](uint32_t p) { return Qor_Most_Ams_GetState(p, 0, &status, &state); },
      [](uint32_t p) { return Qor_Most_Ams_GetState_Async(p, 0); },
      [](uint32_t p) {
        return Qor_Most_Ams_GetState_Async_AddCallback(p, 0, [](uint32_t, uint8_t, uint32_t, uint32_t) {});
      },
      [](uint32_t p) { return Qor_Most_Ams_GetState_Async_RemoveCallback(p, 0); },
      [&](uint32_t p) { return Qor_Most_Ams_QueueRequest(p, 0, m.get(), &flag); },
      [&](uint32_t p) { return Qor_Most_Ams_Request(p, 0, m.get(), &record->response); },
      [&](uint32_t p) { return Qor_Most_Ams_GetResponse(p, 0, &record->response); },
      [](uint32_t p) { return Qor_Most_Ams_GetResponse_Async_Enable(p, 0); },
      [](uint32_t p) { return Qor_Most_Ams_GetResponse_Async_Disable(p, 0); },
      [](uint32_t p) {
        return Qor_Most_Ams_GetResponse_Async_AddCallback(p, 0,
                                                          [](uint32_t, uint8_t, const Qor_Most_Ams_Response_t*) {});
      },
      [](uint32_t p) { return Qor_Most_Ams_GetResponse_Async_RemoveCallback(p, 0); },
      [](uint32_t p) { return Qor_Most_Ams_RxMsgBuffer_Config(p, 0, 0, 0); },
      [](uint32_t p) { return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(p, 0); },
      [](uint32_t p) { return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Disable(p, 0); },
      [](uint32_t p) {
        return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_AddCallback(p, 0,
                                                                  [](uint32_t, uint8_t, const uint8_t*, uint32_t) {});
      },
      [](uint32_t p) { return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_RemoveCallback(p, 0); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

TEST_F(AmsRoad, TheReceiveBufferIsConfiguredAndNotificationsSwitched) {
  device_->expect(kAms, Record().bytes(head(7)).zeros(4).u32(0x11223344).u8(2).zeros(3)).answer(head(7));
  EXPECT_EQ(Qor_Most_Ams_RxMsgBuffer_Config(port_, kChannel, 2, 0x11223344), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Ams_RxMsgBuffer_Config(port_, kChannel, 3, 0), kUnknownMode);
  expectText("3");

  const struct {
    std::function<uint32_t()> call;
    Bytes tail;
  } switches[] = {
      {[&] { return Qor_Most_Ams_GetResponse_Async_Enable(port_, kChannel); }, {0, 0, 1, 0}},
      {[&] { return Qor_Most_Ams_GetResponse_Async_Disable(port_, kChannel); }, {0, 0, 0, 0}},
      {[&] { return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(port_, kChannel); }, {1, 0, 1, 0}},
      {[&] { return Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Disable(port_, kChannel); }, {1, 0, 0, 0}},
  };
  for (const auto& s : switches) {
    device_->expect(kAms, Record().bytes(head(9)).bytes(s.tail)).answer(head(9));
    EXPECT_EQ(s.call(), 0u) << lastError();
  }
}

}  // namespace
}  // namespace qor::test
