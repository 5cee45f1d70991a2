// The AMS callbacks, from an emulated controller's answers and notifications through the daemon to the application:
// channels and state on request, responses and received messages reassembled from hand-made streams (whole, lost,
// repeated, out of order, lying and oversized pieces). What is not whole never reaches the application; what does not
// add up reaches its error callback, with the family's text and the text's true length.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kAms = 0x23, kResponseType = 1;
constexpr uint8_t kChannel = 2;

Bytes part(const Bytes& bytes, size_t offset, size_t length) {
  return Bytes(bytes.begin() + offset, bytes.begin() + offset + length);
}
Bytes head(uint8_t selector) { return Record().u8(selector).u8(kChannel).u16(0); }

Inbox gInbox;

bool isSlice(const uint8_t* data, uint32_t length) {
  const Bytes expected = slice(0, length);
  return std::equal(expected.begin(), expected.end(), data);
}
std::string hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}

void channelArrived(uint32_t, uint8_t channel) { gInbox.put("channel " + std::to_string(channel)); }
void stateArrived(uint32_t, uint8_t channel, uint32_t status, uint32_t state) {
  gInbox.put("state " + std::to_string(channel) + " " + hex(status) + " " + std::to_string(state));
}
void responseArrived(uint32_t, uint8_t channel, const Qor_Most_Ams_Response_t* response) {
  gInbox.put("response " + std::to_string(channel) + " state " + std::to_string(response->state) + " " +
             std::to_string(response->dataLength) + (isSlice(response->data, response->dataLength) ? "" : " corrupt"));
}
void messageArrived(uint32_t, uint8_t channel, const uint8_t* message, uint32_t state) {
  uint32_t dataLength = 0;
  std::memcpy(&dataLength, message + 8, sizeof dataLength);
  gInbox.put("message " + std::to_string(channel) + " state " + std::to_string(state) + " " +
             std::to_string(dataLength) + (isSlice(message + 12, dataLength) ? "" : " corrupt"));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gInbox.put("error " + hex(code) + " " + std::string(text, length));
}

// The error callback's entry: the family's text with its terminating zero.
std::string errorEntry(uint32_t code, const std::string& function) {
  return "error " + hex(code) + " '" + function + "' error" + std::string(1, '\0');
}

class AmsAsyncRoad : public MostRoad {
 protected:
  void SetUp() override {
    MostRoad::SetUp();
    gInbox.entries.clear();
    ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  }
  void notify(const Bytes& data) { sendUnsolicited(port_, kResponseType, kAms, data); }
  // Sends the frames, then a marker the relay always hands over, and compares what arrived.
  void expectArrivals(const char* name, const std::vector<Bytes>& frames, const Bytes& marker,
                      const std::string& markerEntry, std::vector<std::string> expected) {
    gInbox.entries.clear();
    for (const Bytes& frame : frames) notify(frame);
    notify(marker);
    expected.push_back(markerEntry);
    ASSERT_TRUE(gInbox.waitFor(expected.size())) << name;
    std::lock_guard lock(gInbox.mutex);
    EXPECT_EQ(gInbox.entries, expected) << name;
  }
};

TEST_F(AmsAsyncRoad, ChannelsAndStatesArriveOnRequest) {
  ASSERT_EQ(Qor_Most_Ams_GetChannel_Async_AddCallback(port_, channelArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Ams_GetState_Async_AddCallback(port_, kChannel, stateArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Ams_GetState_Async_AddCallback(port_, kChannel, stateArrived), kCallbackTaken);
  EXPECT_EQ(Qor_Most_Ams_GetState_Async_AddCallback(port_, kChannel, nullptr), kInvalidParameter);

  const Bytes allocate = {0, 0, 0, 0};
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 1, 9, 0, 0});
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 0, 9, 0, 0});
  device_->expect(kAms, allocate).answer({0, 0, 0, 0, 1});
  device_->expect(kAms, head(4)).answer(Record().bytes(head(4)).u8(0xFE).zeros(3).u32(0x70009));
  device_->expect(kAms, head(4)).answer(Record().bytes(head(4)).u8(0).zeros(3).u32(0x70010));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Qor_Most_Ams_GetChannel_Async(port_), 0u) << lastError();
  ASSERT_TRUE(gInbox.waitFor(3));
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Qor_Most_Ams_GetState_Async(port_, kChannel), 0u) << lastError();
  ASSERT_TRUE(gInbox.waitFor(5));
  EXPECT_EQ(gInbox.entries, (std::vector<std::string>{
                                "channel 9",
                                errorEntry(kAmsNoFreeChannel, "Qor_Most_Ams_GetChannel_Async"),
                                errorEntry(kInvalidResponseLength, "Qor_Most_Ams_GetChannel_Async"),
                                "state 2 0x00070009 2",
                                errorEntry(kInvalidResponseParameter, "Qor_Most_Ams_GetState_Async"),
                            }));
  EXPECT_EQ(Qor_Most_Ams_GetChannel_Async_RemoveCallback(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Ams_GetState_Async_RemoveCallback(port_, kChannel), 0u) << lastError();
}

Bytes responseAnswer(uint8_t flags, uint32_t total, const Bytes& chunk) {
  return Record().bytes(head(5)).u8(flags).zeros(3).u32(0).u16(0x0123).u8(0x45).u8(0x67).u16(0x89AB).u8(3).u8(1)
      .u32(total).u32(chunk.size()).bytes(chunk);
}
Bytes pieceAnswer(bool last, const Bytes& piece, std::optional<uint32_t> pieceLength = std::nullopt) {
  return Record().bytes(head(6)).u8(last ? 1 : 0).zeros(3)
      .u32(pieceLength.value_or(static_cast<uint32_t>(piece.size()))).bytes(piece);
}

TEST_F(AmsAsyncRoad, ResponsesArriveOnlyWhole) {
  ASSERT_EQ(Qor_Most_Ams_GetResponse_Async_AddCallback(port_, kChannel, responseArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_AddCallback(port_, kChannel, responseArrived), kCallbackTaken);
  const std::string whole = "response 2 state 1 1";
  const std::string inconsistent = errorEntry(kInconsistentResponse, "Qor_Most_Ams_GetResponse_Async");
  struct Case {
    const char* name;
    std::vector<Bytes> frames;
    std::vector<std::string> arrivals;
  };
  const Case cases[] = {
      {"whole in the first answer", {}, {}},
      {"a chunk and two pieces",
       {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, slice(4, 3)), pieceAnswer(true, slice(7, 3))},
       {"response 2 state 1 10"}},
      {"no message, a response pending", {responseAnswer(4, 0, {})}, {"response 2 state 2 0"}},
      {"a lost piece", {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(true, slice(7, 3))}, {inconsistent}},
      {"a chunk past the total", {responseAnswer(1, 3, slice(0, 4))}, {inconsistent}},
      {"a piece past the total", {responseAnswer(1, 5, slice(0, 4)), pieceAnswer(false, slice(4, 3))},
       {inconsistent}},
      {"a piece longer than its answer", {responseAnswer(1, 10, slice(0, 4)), pieceAnswer(false, slice(4, 3), 99)},
       {inconsistent}},
      {"70000 bytes; its pieces are dropped", {responseAnswer(1, 70000, slice(0, 4)), pieceAnswer(true, slice(4, 3))},
       {errorEntry(kBufferUndersized, "Qor_Most_Ams_GetResponse_Async")}},
      {"a piece without its first answer", {pieceAnswer(true, slice(0, 3))}, {}},
      {"27 bytes", {part(responseAnswer(3, 0, {}), 0, 27)},
       {errorEntry(kInvalidResponseLength, "Qor_Most_Ams_GetResponse_Async")}},
  };
  for (const Case& c : cases) expectArrivals(c.name, c.frames, responseAnswer(3, 1, slice(0, 1)), whole, c.arrivals);
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_RemoveCallback(port_, kChannel), 0u) << lastError();
  EXPECT_NE(Qor_Most_Ams_GetResponse_Async_RemoveCallback(port_, kChannel), 0u);
}

void ignoreFrame(uint32_t, void*, const uint8_t*, uint32_t) {}

TEST_F(AmsAsyncRoad, AHalfRegistrationOfTheResponseCallbackIsUndone) {
  const uint8_t pieceKey[] = {6, kChannel};
  ASSERT_EQ(Qor_AsyncCommunication_AddCallback(port_, kAms, kResponseType, pieceKey, 2, ignoreFrame, nullptr, 0,
                                               nullptr),
            0u);
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_AddCallback(port_, kChannel, responseArrived), kCallbackTaken);
  ASSERT_EQ(Qor_AsyncCommunication_RemoveCallback(port_, kAms, kResponseType, pieceKey, 2), 0u);
  EXPECT_EQ(Qor_Most_Ams_GetResponse_Async_AddCallback(port_, kChannel, responseArrived), 0u) << lastError();
}

// A received message of dataLength bytes: its 12-byte header, then bytes 0, 1, ...
Bytes receivedMessage(uint32_t dataLength) {
  return Record().u32(0xA1A2A3A4).u32(0xB1B2B3B4).u32(dataLength).bytes(slice(0, dataLength));
}
constexpr uint8_t kFirst = 1, kLast = 2, kPending = 4;
Bytes block(uint8_t flags, uint32_t lengthOrPosition, const Bytes& piece) {
  Record written = Record().u16(piece.size()).u8(0).u8(flags).u32(lengthOrPosition).bytes(piece);
  return Record().bytes(written).zeros((4 - piece.size() % 4) % 4);
}
Bytes notification(const std::vector<Bytes>& blocks, std::optional<uint32_t> count = std::nullopt) {
  Bytes all;
  for (const Bytes& b : blocks) all.insert(all.end(), b.begin(), b.end());
  return Record().bytes(head(8)).u32(count.value_or(static_cast<uint32_t>(all.size()))).bytes(all);
}

TEST_F(AmsAsyncRoad, ReceivedMessagesArriveOnlyWhole) {
  ASSERT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_AddCallback(port_, kChannel, messageArrived), 0u) << lastError();
  const Bytes m = receivedMessage(20);  // 32 bytes
  Bytes namingOtherData = m;
  namingOtherData[8] = 25;
  const Bytes single = notification({block(kFirst | kLast, 13, receivedMessage(1))});
  const std::string inconsistent = errorEntry(kInconsistentResponse, "Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async");
  struct Case {
    const char* name;
    std::vector<Bytes> frames;
    std::vector<std::string> arrivals;
  };
  const Case cases[] = {
      {"one piece, pending", {notification({block(kFirst | kLast | kPending, 32, m)})}, {"message 2 state 3 20"}},
      {"three pieces in one notification",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(0, 12, part(m, 12, 10)),
                      block(kLast, 22, part(m, 22, 10))})},
       {"message 2 state 1 20"}},
      {"pieces over two notifications, the last without its flag",
       {notification({block(kFirst, 32, part(m, 0, 13))}), notification({block(0, 13, part(m, 13, 19))})},
       {"message 2 state 0 20"}},
      {"a lost piece",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(kLast, 22, part(m, 22, 10))})}, {}},
      {"a repeated piece",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(0, 12, part(m, 12, 5)), block(0, 12, part(m, 12, 5)),
                      block(kLast, 17, part(m, 17, 15))})},
       {}},
      {"out of order",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(kLast, 22, part(m, 22, 10)),
                      block(0, 12, part(m, 12, 10))})},
       {}},
      {"a piece past the message's length",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(0, 12, slice(0, 24))})}, {inconsistent}},
      {"a message ended short of its length",
       {notification({block(kFirst, 32, part(m, 0, 12)), block(kLast, 12, part(m, 12, 10))})}, {inconsistent}},
      {"a first piece shorter than a header", {notification({block(kFirst | kLast, 5, part(m, 0, 5))})},
       {inconsistent}},
      {"a first and last piece short of its length", {notification({block(kFirst | kLast, 32, part(m, 0, 20))})},
       {inconsistent}},
      {"a header that names other data", {notification({block(kFirst | kLast, 32, namingOtherData)})},
       {inconsistent}},
      {"a message longer than 65548 bytes", {notification({block(kFirst, 65549, part(m, 0, 12))})}, {inconsistent}},
      {"a block byte count of 0", {notification({block(kFirst | kLast, 32, m)}, 0)}, {}},
      {"a block byte count past the notification", {notification({block(kFirst | kLast, 32, m)}, 5000)},
       {"message 2 state 1 20"}},
      {"a block cut short", {notification({block(kFirst | kLast, 32, m)}, 20)}, {inconsistent}},
      {"7 bytes", {part(notification({}), 0, 7)},
       {errorEntry(kInvalidResponseLength, "Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async")}},
  };
  for (const Case& c : cases) expectArrivals(c.name, c.frames, single, "message 2 state 1 1", c.arrivals);
  EXPECT_EQ(Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_RemoveCallback(port_, kChannel), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
