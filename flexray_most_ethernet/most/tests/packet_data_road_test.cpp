// Packet data and MOST Ethernet packets from the library through the daemon to an emulated MOST controller (maximum
// parameter length 4084): the records byte-exact up to the longest that fits, the transmitters' states, the sends that
// wait while the transmitter is busy (bounded, ending with the last state read), and the asynchronous state.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kPacket = 0x24;
constexpr uint32_t kKnownStatus = 0x40010, kUnknownStatus = 0x40005;

Bytes data(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}
Bytes packetRecord(uint16_t target, const Bytes& payload) {
  return Record().u8(0).u8(0).u16(0).u16(target).u16(payload.size()).bytes(payload);
}
Bytes mepRecord(const Bytes& payload) { return Record().u8(2).zeros(7).u16(payload.size()).u16(0).bytes(payload); }
Bytes queueAnswer(uint8_t selector, uint8_t flag) { return Record().u8(selector).zeros(3).u8(flag).zeros(3); }
Bytes stateRequest(uint8_t selector) { return {selector, 0, 0, 0}; }
Bytes stateAnswer(uint8_t selector, uint8_t busy, uint32_t status) {
  return Record().u8(selector).zeros(3).u8(busy).zeros(3).u32(status);
}

using PacketDataRoad = MostRoad;

TEST_F(PacketDataRoad, QueuedPacketsGoOutByteExactUpToTheLongestThatFits) {
  const Bytes small = data(3), longestPacket = data(4076), longestMep = data(4072);
  Bytes shortAnswer = queueAnswer(0, 1);
  shortAnswer.pop_back();
  device_->expect(kPacket, packetRecord(0x1234, small)).answer(queueAnswer(0, 1));
  device_->expect(kPacket, packetRecord(0xFFFF, longestPacket)).answer(queueAnswer(0, 0xFE));
  device_->expect(kPacket, packetRecord(0x0001, small)).answer(shortAnswer);
  device_->expect(kPacket, mepRecord(small)).answer(queueAnswer(2, 0xFF));
  device_->expect(kPacket, mepRecord(longestMep)).answer(queueAnswer(2, 0));

  uint32_t flag = 0xEE;
  EXPECT_EQ(Qor_Most_Pdts_QueueMessage(port_, 0x1234, small.data(), 3, &flag), 0u) << lastError();
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(Qor_Most_Pdts_QueueMessage(port_, 0xFFFF, longestPacket.data(), 4076, &flag), 0u) << lastError();
  EXPECT_EQ(flag, 0u);
  flag = 0xEE;
  EXPECT_EQ(Qor_Most_Pdts_QueueMessage(port_, 0x0001, small.data(), 3, &flag), kInvalidResponseLength);
  expectText("7");
  EXPECT_EQ(flag, 0xEEu);
  EXPECT_EQ(Qor_Most_Pdts_Mep_QueueMessage(port_, 3, small.data(), &flag), 0u) << lastError();
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(Qor_Most_Pdts_Mep_QueueMessage(port_, 4072, longestMep.data(), &flag), 0u) << lastError();
  EXPECT_EQ(flag, 0u);
}

TEST_F(PacketDataRoad, RefusalsSendNothingAndSayWhy) {
  const Bytes big = data(70000);
  const Refusal cases[] = {
      {"packet of 4077 bytes",
       [&](uint32_t p) {
         uint32_t flag = 0;
         return Qor_Most_Pdts_QueueMessage(p, 1, big.data(), 4077, &flag);
       },
       kInvalidDataLength, "4077"},
      {"packet of 65536 bytes",
       [&](uint32_t p) {
         uint32_t flag = 0;
         return Qor_Most_Pdts_QueueMessage(p, 1, big.data(), 65536, &flag);
       },
       kInvalidDataLength, "65536"},
      {"MEP of 4073 bytes",
       [&](uint32_t p) {
         uint32_t flag = 0;
         return Qor_Most_Pdts_Mep_QueueMessage(p, 4073, big.data(), &flag);
       },
       kInvalidDataLength, "too many data bytes"},
      {"send without data",
       [](uint32_t p) {
         uint32_t status = 0, result = 0;
         return Qor_Most_Pdts_SendMessage(p, 1000, 1, nullptr, 4, &status, &result);
       },
       kInvalidParameter, "'data' is NULL"},
      {"MEP send without result",
       [&](uint32_t p) {
         uint32_t status = 0;
         return Qor_Most_Pdts_Mep_SendMessage(p, 1000, 4, big.data(), &status, nullptr);
       },
       kInvalidParameter, "'result' is NULL"},
      {"state without busy",
       [](uint32_t p) {
         uint32_t status = 0;
         return Qor_Most_Pdts_GetTxState(p, &status, nullptr);
       },
       kInvalidParameter, "'busy' is NULL"},
  };
  expectRefusals(port_, cases);
  const uint32_t canPort = open(2);
  uint32_t status = 0, busy = 0;
  EXPECT_EQ(Qor_Most_Pdts_Mep_GetTxState(canPort, &status, &busy), kWrongInterface);
  EXPECT_EQ(Qor_Most_Pdts_GetTxState_Async(canPort), kWrongInterface);
}

TEST_F(PacketDataRoad, StatesWriteBusyBeforeTheStatusIsChecked) {
  device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, 1, kKnownStatus));
  device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, 0, kUnknownStatus));
  device_->expect(kPacket, stateRequest(3)).answer(stateAnswer(3, 0xFE, 0));
  device_->expect(kPacket, stateRequest(3)).answer(queueAnswer(3, 1));
  uint32_t status = 0xEE, busy = 0xEE;
  ASSERT_EQ(Qor_Most_Pdts_GetTxState(port_, &status, &busy), 0u) << lastError();
  EXPECT_EQ(status, kKnownStatus);
  EXPECT_EQ(busy, 1u);
  EXPECT_EQ(Qor_Most_Pdts_GetTxState(port_, &status, &busy), kInvalidResponseParameter);
  EXPECT_EQ(status, QOR_MOST_STATUS_UNKNOWN);
  EXPECT_EQ(busy, 0u);
  ASSERT_EQ(Qor_Most_Pdts_Mep_GetTxState(port_, &status, &busy), 0u) << lastError();
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(busy, 0u);
  busy = 0xEE;
  EXPECT_EQ(Qor_Most_Pdts_Mep_GetTxState(port_, &status, &busy), kInvalidResponseLength) << "8 bytes";
  expectText("8");
  EXPECT_EQ(busy, 0xEEu);
}

TEST_F(PacketDataRoad, SendsWaitWhileTheTransmitterIsBusy) {
  const Bytes payload = data(5);
  device_->expect(kPacket, packetRecord(0x0100, payload)).answer(queueAnswer(0, 1));
  for (uint8_t busy : {1, 1, 0}) device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, busy, kKnownStatus));
  device_->expect(kPacket, mepRecord(payload)).answer(queueAnswer(2, 0));
  for (uint8_t busy : {1, 0}) device_->expect(kPacket, stateRequest(3)).answer(stateAnswer(3, busy, 1));
  device_->expect(kPacket, packetRecord(0x0100, payload)).answer(queueAnswer(0, 1));
  device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, 1, kUnknownStatus));

  uint32_t status = 0xEE, result = 0xEE;
  ASSERT_EQ(Qor_Most_Pdts_SendMessage(port_, 1000000, 0x0100, payload.data(), 5, &status, &result), 0u)
      << lastError();
  EXPECT_EQ(result, QOR_MOST_PDTS_RESULT_SENT);
  EXPECT_EQ(status, kKnownStatus);
  ASSERT_EQ(Qor_Most_Pdts_Mep_SendMessage(port_, 1000000, 5, payload.data(), &status, &result), 0u) << lastError();
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(status, 1u);
  result = 0xEE;
  EXPECT_EQ(Qor_Most_Pdts_SendMessage(port_, 1000000, 0x0100, payload.data(), 5, &status, &result),
            kInvalidResponseParameter);
  EXPECT_EQ(result, 0xEEu) << "a failed poll leaves the result";
}

// A transmitter that never becomes idle: the wait ends after timeout / 1000 + 3 ms with the busy bit.
TEST_F(PacketDataRoad, ATransmitterThatStaysBusyEndsTheWaitWithTheBusyBit) {
  std::atomic<int> polls{0};
  device_->onCommand(kPacket, [&](const emulator::ReceivedFrame& frame) -> emulator::Reply {
    const uint8_t selector = frame.parameters()[0];
    if (selector == 0 || selector == 2) return frame.response(Bytes(queueAnswer(selector, selector == 0 ? 1 : 0)));
    ++polls;
    return frame.response(stateAnswer(selector, 1, kKnownStatus));
  });
  const Bytes payload = data(2);
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t*, uint32_t*)> send;
    uint32_t result;
  };
  const Case cases[] = {
      {"packet",
       [&](uint32_t* status, uint32_t* result) {
         return Qor_Most_Pdts_SendMessage(port_, 50000, 7, payload.data(), 2, status, result);
       },
       QOR_MOST_PDTS_RESULT_SENT | QOR_MOST_PDTS_RESULT_STILL_BUSY},
      {"MEP",
       [&](uint32_t* status, uint32_t* result) {
         return Qor_Most_Pdts_Mep_SendMessage(port_, 50000, 2, payload.data(), status, result);
       },
       QOR_MOST_PDTS_RESULT_STILL_BUSY},
  };
  for (const Case& c : cases) {
    polls = 0;
    uint32_t status = 0, result = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(c.send(&status, &result), 0u) << c.name << ": " << lastError();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(status, kKnownStatus) << c.name;
    EXPECT_GE(elapsed, std::chrono::milliseconds(53)) << c.name;
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000)) << c.name;
    EXPECT_GT(polls.load(), 1) << c.name;
  }
}

Inbox gStates;

void stateArrived(uint32_t, uint32_t status, uint32_t busy) {
  gStates.put("state " + std::to_string(status) + " " + std::to_string(busy));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gStates.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(PacketDataRoad, TheAsynchronousStateReachesTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Pdts_GetTxState_Async_AddCallback(port_, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Most_Pdts_GetTxState_Async_AddCallback(port_, stateArrived), 0u) << lastError();

  Bytes short11 = stateAnswer(1, 0, 0);
  short11.pop_back();
  device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, 1, kKnownStatus));
  device_->expect(kPacket, stateRequest(1)).answer(stateAnswer(1, 0, kUnknownStatus));
  device_->expect(kPacket, stateRequest(1)).answer(short11);
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(Qor_Most_Pdts_GetTxState_Async(port_), 0u) << lastError();
    ASSERT_TRUE(gStates.waitFor(i));
  }
  const std::string function = "'Qor_Most_Pdts_GetTxState_Async' error" + std::string(1, '\0');
  EXPECT_EQ(gStates.entries, (std::vector<std::string>{
                                 "state " + std::to_string(kKnownStatus) + " 1",
                                 "error " + std::to_string(kInvalidResponseParameter) + " " + function,
                                 "error " + std::to_string(kInvalidResponseLength) + " " + function}));
  EXPECT_EQ(Qor_Most_Pdts_GetTxState_Async_RemoveCallback(port_), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
