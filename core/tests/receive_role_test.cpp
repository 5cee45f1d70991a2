// Who receives a port's answers: the caller that waits receives them itself while no one else does, the response
// thread otherwise. Whoever receives, every answer reaches its waiter, every other frame its handler (the firmware
// buffer, the error callback on the response thread), and every wait ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "fake_application.hpp"
#include "qor_api.h"
#include "qor_async.h"

namespace {

using qor::test::FakeApplication;
using Bytes = FakeApplication::Bytes;
using namespace std::chrono_literals;

constexpr uint32_t kFirmwareHostType = 28;
constexpr uint8_t kCommand = 0x42;
constexpr uint8_t kOtherCommand = 0x77;
constexpr uint32_t kNoResponse = 0x2000205;
constexpr uint32_t kFirmwareBufferBytes = 1 << 16; // holds every frame a test keeps

// A frame of this type to the application, as the daemon forwards it.
Bytes frame(uint8_t type, uint8_t command, const Bytes& data) {
  Bytes message = FakeApplication::firmwareAnswer(command, data);
  message[sizeof(ServerResponseHeader) + offsetof(FirmwareMessageHeader, type)] = type;
  return message;
}

Bytes answer(uint8_t command, const Bytes& data) { return frame(QOR_FRAME_RESPONSE, command, data); }

Bytes negativeAcknowledge(uint8_t command, uint32_t code) {
  Bytes data(4);
  memcpy(data.data(), &code, sizeof code);
  for (char c : std::string("refused")) data.push_back(static_cast<uint8_t>(c));
  data.push_back(0);
  return frame(QOR_FRAME_ACKNOWLEDGE, command, data);
}

// The parameters of a 0x20 request, behind its request header and frame header.
Bytes parametersOf(const Bytes& request) {
  constexpr size_t kParametersAt = sizeof(ServerRequestHeader) + QOR_FRAME_HEADER_SIZE;
  return request.size() > kParametersAt ? Bytes(request.begin() + kParametersAt, request.end()) : Bytes{};
}

struct KeptFrame {
  uint8_t command;
  uint8_t type;
  Bytes data;
  bool operator==(const KeptFrame&) const = default;
};

// Everything the firmware buffer holds now, oldest first.
std::vector<KeptFrame> keptFrames(uint32_t port) {
  std::vector<KeptFrame> kept;
  for (;;) {
    uint8_t command = 0, lost = 0, type = 0;
    uint8_t data[256];
    uint32_t length = sizeof data;
    EXPECT_EQ(Qor_Fw_Read(port, &command, &lost, &type, &length, data), 0u);
    if (command == 0) return kept;
    EXPECT_EQ(lost, 0) << "the firmware buffer lost frames";
    kept.push_back({command, type, Bytes(data, data + length)});
  }
}

// Waits for count frames in the firmware buffer, a second at most.
std::vector<KeptFrame> awaitKeptFrames(uint32_t port, size_t count) {
  std::vector<KeptFrame> kept;
  const auto end = std::chrono::steady_clock::now() + 1s;
  while (kept.size() < count && std::chrono::steady_clock::now() < end) {
    for (KeptFrame& more : keptFrames(port)) kept.push_back(std::move(more));
    if (kept.size() < count) std::this_thread::sleep_for(1ms);
  }
  return kept;
}

std::atomic<int> gErrorCallbacks{0};
std::atomic<bool> gErrorCallbackOnCaller{false};
thread_local bool tCommanding = false;

void countErrorCallback(uint32_t, uint32_t code, const char*, uint32_t) {
  if (code == 0x1234) ++gErrorCallbacks;
  if (tCommanding) gErrorCallbackOnCaller = true;
}

class ReceiveRole : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qor::test::openPort(kFirmwareHostType, port_), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, countErrorCallback), 0u);
    ASSERT_EQ(Qor_Fw_Buffer_Enable(port_, kFirmwareBufferBytes), 0u);
    gErrorCallbacks = 0;
    gErrorCallbackOnCaller = false;
  }
  void TearDown() override { Qor_CloseInterface(port_); }

  // A command whose answer must begin with its first parameter byte.
  uint32_t command(uint8_t control, Bytes& response) {
    const uint8_t parameters[] = {control, 0x5A};
    uint8_t buffer[64];
    uint32_t size = sizeof buffer;
    tCommanding = true;
    const uint32_t result =
        Qor_CommandWithResponseEx(port_, 0, kCommand, 1, parameters, sizeof parameters, buffer, &size);
    tCommanding = false;
    response.assign(buffer, buffer + size);
    return result;
  }

  FakeApplication daemon_;
  uint32_t port_ = QOR_NO_PORT;
};

struct TrafficCase {
  const char* name;
  std::vector<Bytes> before;        // sent ahead of the answer
  std::vector<KeptFrame> kept;      // what reaches the firmware buffer
  int errorCallbacks;
};

// Commands follow each other closely, so that most of them receive for themselves; the traffic ahead of each answer
// takes the same ways whoever receives it.
TEST_F(ReceiveRole, EveryFrameAheadOfTheAnswerTakesItsOwnWay) {
  const TrafficCase cases[] = {
      {"an unasked response", {answer(kOtherCommand, {9, 8})}, {{kOtherCommand, QOR_FRAME_RESPONSE, {9, 8}}}, 0},
      {"the same command with other control bytes", {answer(kCommand, {0xBB, 1})},
       {{kCommand, QOR_FRAME_RESPONSE, {0xBB, 1}}}, 0},
      {"an acknowledge of the command", {frame(QOR_FRAME_ACKNOWLEDGE, kCommand, {0, 0, 0, 0})},
       {{kCommand, QOR_FRAME_ACKNOWLEDGE, {0, 0, 0, 0}}}, 0},
      {"a negative acknowledge of another command", {negativeAcknowledge(kOtherCommand, 0x1234)}, {}, 1},
      {"all of them", {answer(kOtherCommand, {1}), negativeAcknowledge(kOtherCommand, 0x1234), answer(kCommand, {2})},
       {{kOtherCommand, QOR_FRAME_RESPONSE, {1}}, {kCommand, QOR_FRAME_RESPONSE, {2}}}, 1},
  };
  constexpr int kRounds = 20;
  for (const TrafficCase& c : cases) {
    SCOPED_TRACE(c.name);
    daemon_.script([&](size_t, const Bytes& request) {
      std::vector<Bytes> messages = c.before;
      const Bytes parameters = parametersOf(request);
      messages.push_back(answer(kCommand, {parameters.at(0), static_cast<uint8_t>(parameters.at(0) + 1)}));
      return messages;
    });
    gErrorCallbacks = 0;
    for (int round = 0; round < kRounds; ++round) {
      const auto control = static_cast<uint8_t>(0xA0 + round);
      Bytes response;
      ASSERT_EQ(command(control, response), 0u) << "round " << round << ": " << Qor_GetLastErrorDescription();
      EXPECT_EQ(response, (Bytes{control, static_cast<uint8_t>(control + 1)})) << "round " << round;
    }
    std::vector<KeptFrame> expected;
    for (int round = 0; round < kRounds; ++round) expected.insert(expected.end(), c.kept.begin(), c.kept.end());
    EXPECT_EQ(awaitKeptFrames(port_, expected.size()), expected);
    const auto end = std::chrono::steady_clock::now() + 1s;
    while (gErrorCallbacks < c.errorCallbacks * kRounds && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(gErrorCallbacks, c.errorCallbacks * kRounds);
    EXPECT_FALSE(gErrorCallbackOnCaller) << "the error callback ran on a caller's thread";
  }
}

TEST_F(ReceiveRole, TwoThreadsOnOnePortEachGetTheirOwnAnswersAndNoFrameIsLost) {
  // Every third request gets an unasked frame ahead of its answer.
  daemon_.script([](size_t index, const Bytes& request) {
    std::vector<Bytes> messages;
    if (index % 3 == 0) messages.push_back(answer(kOtherCommand, {static_cast<uint8_t>(index)}));
    const Bytes parameters = parametersOf(request);
    messages.push_back(answer(kCommand, {parameters.at(0), parameters.at(1)}));
    return messages;
  });
  constexpr int kCommands = 150;
  auto run = [&](uint8_t thread) {
    for (int i = 0; i < kCommands; ++i) {
      const uint8_t parameters[] = {thread, static_cast<uint8_t>(i)};
      uint8_t buffer[8];
      uint32_t size = sizeof buffer;
      if (Qor_CommandWithResponseEx(port_, 0, kCommand, 2, parameters, 2, buffer, &size) != 0) return i;
      if (size != 2 || buffer[0] != thread || buffer[1] != i) return i;
    }
    return kCommands;
  };
  auto first = std::async(std::launch::async, run, uint8_t{1});
  auto second = std::async(std::launch::async, run, uint8_t{2});
  EXPECT_EQ(first.get(), kCommands);
  EXPECT_EQ(second.get(), kCommands);
  EXPECT_EQ(awaitKeptFrames(port_, 2 * kCommands / 3).size(), size_t{2 * kCommands / 3});
}

TEST_F(ReceiveRole, ACallerThatTimesOutLeavesTheRoadUsableAndLateFramesReachTheirHandlers) {
  ASSERT_EQ(Qor_SetResponseTimeout(port_, 100), 0u);
  // The first request is never answered; its answer comes late, ahead of the second one's.
  daemon_.script([](size_t index, const Bytes&) {
    if (index == 0) return std::vector<Bytes>{};
    return std::vector<Bytes>{answer(kCommand, {0xA0, 0xA1}), answer(kOtherCommand, {7})};
  });
  Bytes response;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(command(0xA0, response), kNoResponse);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 100ms);
  EXPECT_LT(waited, 600ms);
  EXPECT_TRUE(response.empty());

  uint8_t buffer[8];
  uint32_t size = sizeof buffer;
  ASSERT_EQ(Qor_CommandWithResponse(port_, kOtherCommand, nullptr, 0, buffer, &size), 0u);
  EXPECT_EQ(Bytes(buffer, buffer + size), Bytes{7});
  EXPECT_EQ(awaitKeptFrames(port_, 1), (std::vector<KeptFrame>{{kCommand, QOR_FRAME_RESPONSE, {0xA0, 0xA1}}}));

  // With no caller waiting, the response thread takes the role back and receives what comes unasked.
  daemon_.send(answer(kOtherCommand, {5}));
  EXPECT_EQ(awaitKeptFrames(port_, 1), (std::vector<KeptFrame>{{kOtherCommand, QOR_FRAME_RESPONSE, {5}}}));
}

// The port closes, or the daemon closes the application's queue, while a caller waits for an answer that never comes:
// neither the caller nor the close hangs.
TEST(ReceiveRoleEnd, AnEndWhileACallerReceivesEndsEveryWait) {
  struct EndCase {
    const char* name;
    bool daemonCloses; // else the port is closed by another thread
  };
  for (const EndCase c : {EndCase{"the port closes", false}, EndCase{"the daemon closes the queue", true}}) {
    SCOPED_TRACE(c.name);
    FakeApplication daemon;
    uint32_t port = QOR_NO_PORT;
    ASSERT_EQ(qor::test::openPort(kFirmwareHostType, port), 0u) << Qor_GetLastErrorDescription();
    ASSERT_EQ(Qor_SetResponseTimeout(port, 1500), 0u);
    daemon.script([&](size_t index, const Bytes&) {
      if (index == 0) return std::vector<Bytes>{answer(kCommand, {1})};
      if (!c.daemonCloses) return std::vector<Bytes>{};
      const ServerResponseHeader gone{QOR_MSG_DISCONNECT, {0, 0, 0}, QOR_BARE_REPLY_LENGTH, 0};
      Bytes message(sizeof gone);
      memcpy(message.data(), &gone, sizeof gone);
      return std::vector<Bytes>{message};
    });
    // A first command hands the role to callers; the second one receives in vain.
    uint8_t buffer[8];
    uint32_t size = sizeof buffer;
    ASSERT_EQ(Qor_CommandWithResponse(port, kCommand, nullptr, 0, buffer, &size), 0u);
    auto waiting = std::async(std::launch::async, [&] {
      uint32_t capacity = sizeof buffer;
      return Qor_CommandWithResponse(port, kCommand, nullptr, 0, buffer, &capacity);
    });
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    auto closing = std::async(std::launch::async, [&] { return Qor_CloseInterface(port); });
    ASSERT_EQ(waiting.wait_for(3s), std::future_status::ready) << "the caller hangs";
    EXPECT_EQ(waiting.get(), kNoResponse);
    ASSERT_EQ(closing.wait_for(5s), std::future_status::ready) << "the close hangs";
    EXPECT_EQ(closing.get(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  }
}

} // namespace
