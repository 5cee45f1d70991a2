// The diagnostic channels of a MOST port, from the library through the daemon to an emulated controller: every
// configuration record byte-exact, the refusals in their order sending nothing, and the channel's state checked
// before it is written, synchronous and through the asynchronous triple.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kConfig = 0xA0, kState = 0xA5;

// The head of every configuration record.
Record head(uint8_t channel, uint8_t protocol, uint8_t mode, uint32_t value, uint32_t commandFlags) {
  return std::move(Record().u8(channel).u8(protocol).u8(mode).u8(0).u32(value).u32(commandFlags));
}

Qor_Most_Diag_KeywordRec_t keywordRecord(uint8_t requestMode, uint8_t byteCount) {
  Qor_Most_Diag_KeywordRec_t record{};
  record.keywordRecFlags = 1;
  record.words[0] = 0x0101;
  record.words[1] = 0x0202;
  record.words[2] = 0x0303;
  record.word = 0x0404;
  record.requestMode = requestMode;
  record.byteCount = byteCount;
  for (uint8_t i = 0; i < 8; ++i) record.bytes[i] = static_cast<uint8_t>(0xB0 + i);
  return record;
}

using MostDiagRoad = MostRoad;

void stateArrived(uint32_t, uint8_t, uint8_t, uint8_t, uint8_t, uint32_t);

TEST_F(MostDiagRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  const auto record = keywordRecord(0, 0);
  uint32_t result = 0, state = 0;
  uint8_t diagType = 0, diagState = 0;
  const PortCall calls[] = {
      [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 0, 0, 0, 0, 0, 0); },
      [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 0, 0, 0, &record); },
      [](uint32_t p) { return Qor_Most_Diag_Config_Off(p, 0); },
      [&](uint32_t p) { return Qor_Most_Diag_GetState(p, 0, 0, &result, &diagType, &diagState, &state); },
      [](uint32_t p) { return Qor_Most_Diag_GetState_Async(p, 0, 0); },
      [](uint32_t p) { return Qor_Most_Diag_GetState_Async_AddCallback(p, 0, stateArrived); },
      [](uint32_t p) { return Qor_Most_Diag_GetState_Async_RemoveCallback(p, 0); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

// Mode 1 sends the head alone and reads nothing of the keyword record but its reserved bytes.
TEST_F(MostDiagRoad, ConfigurationsGoOutAsTheirRecords) {
  const auto three = keywordRecord(0x80, 3), eight = keywordRecord(0x81, 8);
  auto unchecked = keywordRecord(0x82, 9);
  unchecked.keywordRecFlags = 2;
  Bytes eightBytes;
  for (uint8_t i = 0; i < 8; ++i) eightBytes.push_back(static_cast<uint8_t>(0xB0 + i));
  const Bytes keywordPart = Record().u16(0x0101).u16(0x0202).u16(0x0303).u16(0).u16(0x0404);
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes record;
  } const cases[] = {
      {"KW2000 mode 0",
       [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 1, 0, 0xDEADBEEF, 15, 0xAABB, 0xCCDD); },
       Record().bytes(head(1, 1, 0, 0xDEADBEEF, 15)).u16(0xAABB).u16(0xCCDD)},
      {"KW2000 mode 1: the head alone",
       [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 2, 1, 7, 1, 0xAABB, 0xCCDD); },
       head(2, 1, 1, 7, 1)},
      {"KW2000 mode 2", [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 3, 2, 7, 0, 1, 2); },
       Record().bytes(head(3, 1, 2, 7, 0)).u16(1).u16(2)},
      {"UDS mode 0: three bytes, zeros after",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 4, 0, 9, 8, &three); },
       Record().bytes(head(4, 2, 0, 9, 8)).u32(1).bytes(keywordPart).u8(0x80).u8(3).u8(0xB0).u8(0xB1).u8(0xB2)
           .zeros(5)},
      {"UDS mode 2: eight bytes",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 5, 2, 9, 0, &eight); },
       Record().bytes(head(5, 2, 2, 9, 0)).u32(1).bytes(keywordPart).u8(0x81).u8(8).bytes(eightBytes)},
      {"UDS mode 1: the head alone",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 6, 1, 9, 0, &unchecked); }, head(6, 2, 1, 9, 0)},
      {"off", [](uint32_t p) { return Qor_Most_Diag_Config_Off(p, 7); }, Record().u8(7).zeros(3)},
  };
  for (const Case& c : cases) device_->expect(kConfig, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastError();
}

TEST_F(MostDiagRoad, RefusedConfigurationsComeInTheirOrderAndSendNothing) {
  auto reserved10And11 = keywordRecord(0x82, 9);
  reserved10And11.reserved[0] = 1;
  reserved10And11.reserved[1] = 1;
  auto reserved10 = keywordRecord(0, 0);
  reserved10.reserved[0] = 1;
  auto flags2 = keywordRecord(0x82, 9);
  flags2.keywordRecFlags = 2;
  const auto mode82 = keywordRecord(0x82, 9), mode41 = keywordRecord(0x41, 0), count9 = keywordRecord(0, 9),
             good = keywordRecord(0, 0);
  const Refusal cases[] = {
      {"KW2000: command flags before the mode",
       [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 0, 3, 0, 16, 0, 0); }, kUnknownFlag,
       "Unknown CommandFlags: 16"},
      {"KW2000: mode 3", [](uint32_t p) { return Qor_Most_Diag_Config_Kw2000_Tp_2_0(p, 0, 3, 0, 0, 0, 0); },
       kUnknownMode, "3"},
      {"UDS: the highest reserved byte first, in any mode",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 1, 0, 16, &reserved10And11); },
       kInvalidParameter, "Invalid reserved parameter byte: offset 11"},
      {"UDS: reserved byte 10",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 0, 0, 0, &reserved10); },
       kInvalidParameter, "Invalid reserved parameter byte: offset 10"},
      {"UDS: command flags before the mode",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 3, 0, 0x80000000, &good); }, kUnknownFlag,
       "Unknown CommandFlags: 2147483648"},
      {"UDS: mode 3", [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 3, 0, 0, &flags2); },
       kUnknownMode, "Unknown Mode: 3"},
      {"UDS: keyword flags before the request mode",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 0, 0, 0, &flags2); }, kUnknownFlag,
       "Unknown KeywordRecFlags: 2"},
      {"UDS: request mode 0x82 before the count",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 2, 0, 0, &mode82); }, kUnknownMode,
       "Unknown RequestMode: 130"},
      {"UDS: request mode 0x41",
       [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 0, 0, 0, &mode41); },
       kUnknownMode, "Unknown RequestMode: 65"},
      {"UDS: nine bytes", [&](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 0, 0, 0, &count9); },
       kInvalidDataLength, "9"},
      {"UDS: no record", [](uint32_t p) { return Qor_Most_Diag_Config_Uds_KeywordRec(p, 0, 1, 0, 0, nullptr); },
       kInvalidParameter, "'record' is NULL"},
  };
  expectRefusals(port_, cases);
}

TEST_F(MostDiagRoad, TheStateIsCheckedBeforeEachFieldIsWritten) {
  constexpr uint8_t kUnset = 0xEE;
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t diagType, diagState;
    uint32_t result, state;
  } const cases[] = {
      {"a whole answer; state bits above 2 dropped", {4, 0x21, 2, 4, 0xFF}, 0, "", 2, 4, 0x21, 7},
      {"four bytes", {4, 0x21, 2, 4}, kInvalidResponseLength, " - 4", kUnset, kUnset, kUnset, kUnset},
      {"type 3", {4, 0x21, 3, 4, 0}, kInvalidResponseParameter, "invalid diag type '3' in response from firmware",
       kUnset, kUnset, kUnset, kUnset},
      {"state 5 after a good type", {4, 0x21, 1, 5, 0}, kInvalidResponseParameter,
       "invalid diag state '5' in response from firmware", 1, kUnset, kUnset, kUnset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(kState, {4, 1, 0, 0}).answer(c.answer);
    uint32_t result = kUnset, state = kUnset;
    uint8_t diagType = kUnset, diagState = kUnset;
    EXPECT_EQ(Qor_Most_Diag_GetState(port_, 4, 1, &result, &diagType, &diagState, &state), c.code) << lastError();
    EXPECT_NE(lastError().find(c.text), std::string::npos) << lastError();
    EXPECT_EQ(diagType, c.diagType);
    EXPECT_EQ(diagState, c.diagState);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(state, c.state);
  }

  uint32_t result = 0, state = 0;
  uint8_t diagType = 0, diagState = 0;
  EXPECT_EQ(Qor_Most_Diag_GetState(port_, 4, 2, &result, &diagType, &diagState, &state), kUnknownFlag);
  EXPECT_NE(lastError().find(" - 2"), std::string::npos) << lastError();
  EXPECT_EQ(Qor_Most_Diag_GetState(port_, 4, 0, &result, nullptr, &diagState, &state), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Diag_GetState_Async(port_, 4, 2), kUnknownFlag);
}

Inbox gStates;

void stateArrived(uint32_t, uint8_t channel, uint8_t result, uint8_t diagType, uint8_t diagState, uint32_t state) {
  gStates.put("state " + std::to_string(channel) + " " + std::to_string(result) + " " + std::to_string(diagType) +
              " " + std::to_string(diagState) + " " + std::to_string(state));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gStates.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(MostDiagRoad, AsynchronousStatesReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Diag_GetState_Async_AddCallback(port_, 4, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Most_Diag_GetState_Async_AddCallback(port_, 4, stateArrived), 0u) << lastError();

  const std::string function = "'Qor_Most_Diag_GetState_Async' error" + std::string(1, '\0');
  device_->expect(kState, {4, 0, 0, 0}).answer({4, 0x21, 2, 3, 0x0F});
  device_->expect(kState, {4, 1, 0, 0}).answer({4, 0x21, 2, 3});
  device_->expect(kState, {4, 1, 0, 0}).answer({4, 0x21, 2, 5, 0});
  const uint32_t flags[] = {0, 1, 1};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(Qor_Most_Diag_GetState_Async(port_, 4, flags[i]), 0u) << lastError();
    ASSERT_TRUE(gStates.waitFor(i + 1));
  }
  EXPECT_EQ(gStates.entries,
            (std::vector<std::string>{"state 4 33 2 3 7",
                                      "error " + std::to_string(kInvalidResponseLength) + " " + function,
                                      "error " + std::to_string(kInvalidResponseParameter) + " " + function}));
  EXPECT_EQ(Qor_Most_Diag_GetState_Async_RemoveCallback(port_, 4), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
