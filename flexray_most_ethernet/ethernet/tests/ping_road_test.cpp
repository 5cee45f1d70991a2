// The ping from the library through the daemon to an emulated Ethernet controller: the start record byte-exact, the
// wait that polls while the ping runs and ends with the last state it read, bounded in time, and the refusals.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_ping.h"

namespace qor::test {
namespace {

constexpr uint8_t kPing = 0x26;

const Bytes kAddress{192, 168, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Qor_Ethernet_Ping_t ping(uint32_t flags, uint8_t protocol = 1) {
  Qor_Ethernet_Ping_t p{flags, protocol, {}, 0x0102, 0x0304, 0x05060708, {192, 168, 1, 1}};
  return p;
}
Bytes startRecord(uint32_t firmwareFlag) {
  return Record().u32(0).u32(firmwareFlag).u8(1).zeros(3).u16(0x0102).u16(0x0304).u32(0x05060708).bytes(kAddress);
}
const Bytes kStateRequest = Record().u32(1).u32(0);
Bytes stateAnswer(uint32_t state) { return Record().u32(1).u32(0).u32(state); }

using PingRoad = EthernetRoad;

TEST_F(PingRoad, TheStartPollsWhileThePingRunsAndGivesItsOutcome) {
  device_->expect(kPing, startRecord(1)).answer(Record().u32(0));
  for (uint32_t state : {1, 1, 1, 3}) device_->expect(kPing, kStateRequest).answer(stateAnswer(state));
  device_->expect(kPing, startRecord(0)).answer(Record().u32(0));
  device_->expect(kPing, startRecord(0)).answer(Record().u32(0));
  device_->expect(kPing, kStateRequest).answer(stateAnswer(7));

  Qor_Ethernet_PingResult_t result;
  std::memset(&result, 0xEE, sizeof result);
  const auto waiting = ping(1);
  ASSERT_EQ(Qor_Ethernet_Ping_Start(port_, &waiting, &result), 0u) << lastText();
  EXPECT_EQ(result.reserved, 0u);
  EXPECT_EQ(result.state, 3u);
  EXPECT_EQ(result.reserved2[0], 0u);

  const auto noWait = ping(QOR_ETHERNET_PING_NO_WAIT);
  ASSERT_EQ(Qor_Ethernet_Ping_Start(port_, &noWait, &result), 0u) << lastText();
  EXPECT_EQ(result.state, QOR_ETHERNET_PING_STATE_RUNNING);

  const auto unknownOutcome = ping(0);
  ASSERT_EQ(Qor_Ethernet_Ping_Start(port_, &unknownOutcome, &result), 0u) << lastText();
  EXPECT_EQ(result.state, QOR_ETHERNET_PING_STATE_UNKNOWN) << "firmware state 7";
}

TEST_F(PingRoad, GetStateReadsOnceAndTranslates) {
  device_->expect(kPing, kStateRequest).answer(stateAnswer(2));
  device_->expect(kPing, kStateRequest).answer(stateAnswer(0x100));
  device_->expect(kPing, kStateRequest).answer(Record().u32(1).u32(0).u16(2));
  const uint32_t flags = 0;
  Qor_Ethernet_PingResult_t result{};
  ASSERT_EQ(Qor_Ethernet_Ping_GetState(port_, &flags, &result), 0u) << lastText();
  EXPECT_EQ(result.state, 2u);
  ASSERT_EQ(Qor_Ethernet_Ping_GetState(port_, &flags, &result), 0u) << lastText();
  EXPECT_EQ(result.state, QOR_ETHERNET_PING_STATE_UNKNOWN);
  result.state = 0xEE;
  EXPECT_EQ(Qor_Ethernet_Ping_GetState(port_, &flags, &result), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 10 bytes, 12 expected"), std::string::npos) << lastText();
  EXPECT_EQ(result.state, 0xEEu);
}

// A firmware whose ping never ends: the wait stops after its bound with the running state of the last poll.
TEST_F(PingRoad, APingThatNeverEndsIsLeftRunningAfterTheBound) {
  std::atomic<int> polls{0};
  device_->onCommand(kPing, [&](const emulator::ReceivedFrame& frame) -> emulator::Reply {
    if (frame.parameterWord(0) == 0) return frame.response(Bytes(Record().u32(0)));
    ++polls;
    return frame.response(stateAnswer(QOR_ETHERNET_PING_STATE_RUNNING));
  });
  const auto waiting = ping(0);
  Qor_Ethernet_PingResult_t result{};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Qor_Ethernet_Ping_Start(port_, &waiting, &result), 0u) << lastText();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.state, QOR_ETHERNET_PING_STATE_RUNNING);
  EXPECT_GE(elapsed, std::chrono::milliseconds(QOR_ETHERNET_PING_WAIT_MS));
  EXPECT_LT(elapsed, std::chrono::milliseconds(QOR_ETHERNET_PING_WAIT_MS + 3000));
  EXPECT_GT(polls.load(), 1);
}

TEST_F(PingRoad, AFailedPollEndsTheWaitWithItsCode) {
  device_->expect(kPing, startRecord(0)).answer(Record().u32(0));
  device_->expect(kPing, kStateRequest).answer(stateAnswer(1));
  device_->expect(kPing, kStateRequest).fail(0x00AB0001, "ping lost");
  const auto waiting = ping(0);
  Qor_Ethernet_PingResult_t result{};
  EXPECT_EQ(Qor_Ethernet_Ping_Start(port_, &waiting, &result), 0x00AB0001u);
}

TEST_F(PingRoad, RefusalsSendNothingAndSayWhy) {
  const Refusal cases[] = {
      {"flags 4",
       [](uint32_t p) {
         const auto request = ping(4);
         Qor_Ethernet_PingResult_t result{};
         return Qor_Ethernet_Ping_Start(p, &request, &result);
       },
       kUnknownFlag, ""},
      {"reserved",
       [](uint32_t p) {
         auto request = ping(0);
         request.reserved[1] = 1;
         Qor_Ethernet_PingResult_t result{};
         return Qor_Ethernet_Ping_Start(p, &request, &result);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"protocol 2",
       [](uint32_t p) {
         const auto request = ping(0, 2);
         Qor_Ethernet_PingResult_t result{};
         return Qor_Ethernet_Ping_Start(p, &request, &result);
       },
       kInvalidParameter, "unknown protocol value"},
      {"no result",
       [](uint32_t p) {
         const auto request = ping(0);
         return Qor_Ethernet_Ping_Start(p, &request, nullptr);
       },
       kInvalidParameter, "'result' is NULL"},
      {"state flags 1",
       [](uint32_t p) {
         const uint32_t flags = 1;
         Qor_Ethernet_PingResult_t result{};
         return Qor_Ethernet_Ping_GetState(p, &flags, &result);
       },
       kUnknownFlag, ""},
  };
  expectRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
