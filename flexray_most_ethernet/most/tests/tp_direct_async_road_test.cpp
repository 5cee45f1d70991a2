// The direct transport callbacks, from an emulated controller's answers and notifications through the daemon to the
// application: the state on request, and responses collected from hand-made piece streams. A response reaches the
// application only whole and within the callback's area; what does not add up reaches the error callback with the
// family's text and its true length.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kTp = 0x82, kResponseType = 1;
constexpr uint8_t kChannel = 3;

Bytes head(uint8_t selector) { return Record().u8(selector).u8(kChannel).u16(0); }
Bytes pieceAnswer(uint8_t result, uint8_t state, bool more, const Bytes& piece,
                  std::optional<uint16_t> pieceLength = std::nullopt) {
  return Record().bytes(head(6)).zeros(4).u8(result).u8(state).zeros(2)
      .u16(pieceLength.value_or(static_cast<uint16_t>(piece.size()))).u16(more ? 1 : 0).bytes(piece);
}

Inbox gInbox;

std::string hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", code);
  return text;
}
void stateArrived(uint32_t, uint8_t channel, uint8_t result, uint8_t tpType, uint8_t tpDirectType, uint8_t state,
                  uint32_t flags) {
  gInbox.put("state " + std::to_string(channel) + " " + std::to_string(result) + " " + std::to_string(tpType) + " " +
             std::to_string(tpDirectType) + " " + std::to_string(state) + " " + std::to_string(flags));
}
void responseArrived(uint32_t, uint8_t channel, uint32_t result, uint8_t state, const uint8_t* data,
                     uint32_t length) {
  const Bytes expected = slice(0, length);
  const bool intact = std::equal(expected.begin(), expected.end(), data);
  gInbox.put("response " + std::to_string(channel) + " " + std::to_string(result) + " " + std::to_string(state) + " " +
             std::to_string(length) + (intact ? "" : " corrupt"));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gInbox.put("error " + hex(code) + " " + std::string(text, length));
}
std::string errorEntry(uint32_t code, const std::string& function) {
  return "error " + hex(code) + " '" + function + "' error" + std::string(1, '\0');
}

class TpDirectAsyncRoad : public MostRoad {
 protected:
  void SetUp() override {
    MostRoad::SetUp();
    gInbox.entries.clear();
    ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  }
};

TEST_F(TpDirectAsyncRoad, StatesArriveOnRequest) {
  ASSERT_EQ(Qor_Most_TpDirect_GetState_Async_AddCallback(port_, kChannel, stateArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_TpDirect_GetState_Async(port_, kChannel, 2), kUnknownFlag);
  const Bytes request = Record().bytes(head(5)).u8(1).zeros(3);
  device_->expect(kTp, request).answer(Record().bytes(head(5)).u8(0xFF).zeros(3).u8(4).u8(0x31).u8(2).u8(1));
  device_->expect(kTp, request).answer(Record().bytes(head(5)).u8(0).zeros(3).u8(1).u8(0).u8(3).u8(0));
  device_->expect(kTp, request).answer(Record().bytes(head(5)).u8(0).zeros(3).u8(1).u8(0).u8(0));
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(Qor_Most_TpDirect_GetState_Async(port_, kChannel, 1), 0u) << lastError();
    ASSERT_TRUE(gInbox.waitFor(i));
  }
  EXPECT_EQ(gInbox.entries, (std::vector<std::string>{
                                "state 3 49 2 1 4 3",
                                errorEntry(kInvalidResponseParameter, "Qor_Most_TpDirect_GetState_Async"),
                                errorEntry(kInvalidResponseLength, "Qor_Most_TpDirect_GetState_Async"),
                            }));
  EXPECT_EQ(Qor_Most_TpDirect_GetState_Async_RemoveCallback(port_, kChannel), 0u) << lastError();
}

TEST_F(TpDirectAsyncRoad, ResponsesArriveOnlyWholeAndWithinTheArea) {
  ASSERT_EQ(Qor_Most_TpDirect_GetResponse_Async_AddCallback(port_, kChannel, responseArrived), 0u) << lastError();
  const std::string inconsistent = errorEntry(kInconsistentResponse, "Qor_Most_TpDirect_GetResponse_Async");
  std::vector<Bytes> oversized;
  for (uint32_t offset = 0; offset < 68000; offset += 4000) {
    oversized.push_back(pieceAnswer(0, 0, offset + 4000 < 68000, Bytes(4000)));
  }
  struct Case {
    const char* name;
    std::vector<Bytes> frames;
    std::vector<std::string> arrivals;
  };
  const Case cases[] = {
      {"one piece", {pieceAnswer(0x11, 1, false, slice(0, 5))}, {"response 3 17 1 5"}},
      {"three pieces, the last result that is not 0 kept",
       {pieceAnswer(7, 0, true, slice(0, 4)), pieceAnswer(9, 0, true, slice(4, 4)),
        pieceAnswer(0, 4, false, slice(8, 2))},
       {"response 3 9 4 10"}},
      {"a piece longer than its answer, then a whole response",
       {pieceAnswer(0, 1, true, slice(0, 5), 6), pieceAnswer(0, 1, false, slice(0, 2))},
       {inconsistent, "response 3 0 1 2"}},
      {"state 5", {pieceAnswer(0, 5, false, slice(0, 2))},
       {errorEntry(kInvalidResponseParameter, "Qor_Most_TpDirect_GetResponse_Async")}},
      {"68000 bytes", oversized, {errorEntry(kBufferUndersized, "Qor_Most_TpDirect_GetResponse_Async")}},
      {"15 bytes", {cut(pieceAnswer(0, 0, false, {}), 15)},
       {errorEntry(kInvalidResponseLength, "Qor_Most_TpDirect_GetResponse_Async")}},
  };
  for (const Case& c : cases) {
    gInbox.entries.clear();
    for (const Bytes& frame : c.frames) sendUnsolicited(port_, kResponseType, kTp, frame);
    ASSERT_TRUE(gInbox.waitFor(c.arrivals.size())) << c.name;
    std::lock_guard lock(gInbox.mutex);
    EXPECT_EQ(gInbox.entries, c.arrivals) << c.name;
  }
  EXPECT_EQ(Qor_Most_TpDirect_GetResponse_Async_RemoveCallback(port_, kChannel), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
