// Control messages from the library through the daemon to an emulated controller: the send record byte-exact, the
// refusals that send nothing, the transmitter's state synchronous and asynchronous, and sending with the wait for the
// transmitter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kCms = 0x22;
constexpr uint32_t kUnset = 0xEEEEEEEE;

const Qor_Most_Cms_Message_t kMessage = {0x0123, 0x52, 0x01, 0x0ABC, 0x0C, 0x07};

Bytes sendRecord(const Bytes& data) {
  return Record().u32(0).u16(0x0123).u8(0x52).u8(0x01).u16(0x0ABC).u8(0x0C).u8(0x07).u8(data.size()).zeros(3).bytes(
      data);
}
Bytes sendAnswer(uint8_t flags) { return Record().u32(0).u8(flags).zeros(3); }
const Bytes kTxStateRequest = {1, 0, 0, 0};
Bytes txStateAnswer(uint8_t busy, uint32_t status) { return Record().u32(1).u8(busy).zeros(3).u32(status); }

using MostCmsRoad = MostRoad;

TEST_F(MostCmsRoad, MessagesGoOutByteExactAndTheSendFlagIsBitZero) {
  struct Case {
    Bytes data;
    uint8_t answerFlags;
    uint32_t flag;
  };
  const Case cases[] = {
      {{}, 0x01, 1},  // a message without data is the head alone
      {{0xA1, 0xB2, 0xC3}, 0xFE, 0},
      {Bytes(QOR_MOST_CMS_DATA_MAX, 0x5A), 0x03, 1},
  };
  for (const Case& c : cases) {
    device_->expect(kCms, sendRecord(c.data)).answer(sendAnswer(c.answerFlags));
    uint32_t flag = kUnset;
    EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &kMessage, c.data.data(), c.data.size(), &flag), 0u) << lastError();
    EXPECT_EQ(flag, c.flag) << c.data.size() << " bytes";
  }
}

TEST_F(MostCmsRoad, WhatCannotGoOutIsRefusedBeforeAnythingIsSent) {
  const Bytes data(1000, 0x11);
  uint32_t flag = kUnset;
  // The length travels in one byte: no port's parameter length lets more than 255 bytes through.
  for (uint32_t length : {256u, 996u}) {
    EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &kMessage, data.data(), length, &flag), kInvalidDataLength);
    expectText(std::to_string(length));
  }
  Qor_Most_Cms_Message_t sixteen = kMessage;
  sixteen.operationType = 16;
  EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &sixteen, data.data(), 2, &flag), kUnknownOperationType);
  expectText("16");
  EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, nullptr, data.data(), 2, &flag), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &kMessage, nullptr, 2, &flag), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &kMessage, data.data(), 2, nullptr), kInvalidParameter);
  uint32_t status = kUnset, result = kUnset;
  EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 0, &sixteen, data.data(), 2, &status, &result), kUnknownOperationType);
  EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 0, &kMessage, data.data(), 2, nullptr, &result), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 0, &kMessage, data.data(), 2, &status, nullptr), kInvalidParameter);
  EXPECT_EQ(flag, kUnset);
  EXPECT_EQ(result, kUnset);

  device_->expect(kCms, sendRecord({})).answer(Record().u32(0).u8(1).zeros(2));
  EXPECT_EQ(Qor_Most_Cms_QueueMessage(port_, &kMessage, nullptr, 0, &flag), kInvalidResponseLength);
  expectText("7");
  EXPECT_EQ(flag, kUnset);
}

TEST_F(MostCmsRoad, TheTransmittersStateIsWrittenOnlyWithAKnownStatus) {
  struct Case {
    Bytes answer;
    uint32_t code, status, busy;
  };
  Bytes eleven = txStateAnswer(1, 0);
  eleven.pop_back();
  const Case cases[] = {
      {txStateAnswer(1, 0x10001), 0, 0x10001, 1},
      {txStateAnswer(0xFE, 0x40010), 0, 0x40010, 0},
      {txStateAnswer(1, 0x10006), kInvalidResponseParameter, QOR_MOST_STATUS_UNKNOWN, kUnset},
      {eleven, kInvalidResponseLength, kUnset, kUnset},
  };
  for (const Case& c : cases) {
    device_->expect(kCms, kTxStateRequest).answer(c.answer);
    uint32_t status = kUnset, busy = kUnset;
    EXPECT_EQ(Qor_Most_Cms_GetTxState(port_, &status, &busy), c.code) << lastError();
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(busy, c.busy);
  }
  uint32_t status = 0;
  EXPECT_EQ(Qor_Most_Cms_GetTxState(port_, &status, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Cms_GetTxState(port_, nullptr, &status), kInvalidParameter);
}

TEST_F(MostCmsRoad, SendingWaitsForTheTransmitterAndReportsItsLastStatus) {
  device_->expect(kCms, sendRecord({0x42})).answer(sendAnswer(1));
  device_->expect(kCms, kTxStateRequest).answer(txStateAnswer(1, 0));
  device_->expect(kCms, kTxStateRequest).answer(txStateAnswer(1, 0));
  device_->expect(kCms, kTxStateRequest).answer(txStateAnswer(0, 0x20003));
  const uint8_t data[] = {0x42};
  uint32_t status = kUnset, result = kUnset;
  EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 2'000'000, &kMessage, data, 1, &status, &result), 0u) << lastError();
  EXPECT_EQ(result, QOR_MOST_CMS_RESULT_SENT);
  EXPECT_EQ(status, 0x20003u);

  // A state read that fails ends the wait with its code and no result.
  device_->expect(kCms, sendRecord({0x42})).answer(sendAnswer(0));
  device_->expect(kCms, kTxStateRequest).fail(0x1F, "busy");
  result = kUnset;
  EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 2'000'000, &kMessage, data, 1, &status, &result), 0x1Fu);
  EXPECT_EQ(result, kUnset);
}

TEST_F(MostCmsRoad, ATransmitterThatStaysBusyIsNoErrorButMarksTheResult) {
  std::atomic<int> polls = 0;
  std::atomic<uint8_t> sendFlag = 1;
  device_->onCommand(kCms, [&](const emulator::ReceivedFrame& frame) -> emulator::Reply {
    if (frame.parameters()[0] == 0) return frame.response(sendAnswer(sendFlag));
    ++polls;
    return frame.response(txStateAnswer(1, 0));
  });
  for (uint8_t flag : {uint8_t{1}, uint8_t{0}}) {
    sendFlag = flag;
    polls = 0;
    uint32_t status = kUnset, result = kUnset;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Qor_Most_Cms_SendMessage(port_, 20'000, &kMessage, nullptr, 0, &status, &result), 0u) << lastError();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, flag | QOR_MOST_CMS_RESULT_STILL_BUSY);
    EXPECT_EQ(status, 0u);
    EXPECT_GE(took, std::chrono::milliseconds(23));
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_GE(polls, 1);
  }
}

Inbox gStates;

void stateArrived(uint32_t, uint32_t status, uint32_t busy) {
  gStates.put("state " + std::to_string(status) + " " + std::to_string(busy));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gStates.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(MostCmsRoad, AsynchronousStatesReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Cms_GetTxState_Async_AddCallback(port_, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Most_Cms_GetTxState_Async_AddCallback(port_, stateArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Cms_GetTxState_Async_AddCallback(port_, stateArrived), kCallbackTaken);

  const std::string function = "'Qor_Most_Cms_GetTxState_Async' error" + std::string(1, '\0');
  Bytes eleven = txStateAnswer(0, 0);
  eleven.pop_back();
  device_->expect(kCms, kTxStateRequest).answer(txStateAnswer(1, 0x70009));
  device_->expect(kCms, kTxStateRequest).answer(txStateAnswer(0, 0x70010));
  device_->expect(kCms, kTxStateRequest).answer(eleven);
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(Qor_Most_Cms_GetTxState_Async(port_), 0u) << lastError();
    ASSERT_TRUE(gStates.waitFor(i));
  }
  EXPECT_EQ(gStates.entries, (std::vector<std::string>{
                                 "state " + std::to_string(0x70009) + " 1",
                                 "error " + std::to_string(kInvalidResponseParameter) + " " + function,
                                 "error " + std::to_string(kInvalidResponseLength) + " " + function}));
  EXPECT_EQ(Qor_Most_Cms_GetTxState_Async_RemoveCallback(port_), 0u) << lastError();
}

TEST_F(MostCmsRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  uint32_t a = 0, b = 0;
  const PortCall calls[] = {
      [&](uint32_t p) { return Qor_Most_Cms_QueueMessage(p, &kMessage, nullptr, 0, &a); },
      [&](uint32_t p) { return Qor_Most_Cms_SendMessage(p, 0, &kMessage, nullptr, 0, &a, &b); },
      [&](uint32_t p) { return Qor_Most_Cms_GetTxState(p, &a, &b); },
      [](uint32_t p) { return Qor_Most_Cms_GetTxState_Async(p); },
      [](uint32_t p) { return Qor_Most_Cms_GetTxState_Async_AddCallback(p, stateArrived); },
      [](uint32_t p) { return Qor_Most_Cms_GetTxState_Async_RemoveCallback(p); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

}  // namespace
}  // namespace qor::test
