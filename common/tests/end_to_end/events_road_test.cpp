// User events and function blocks through the daemon and an emulated controller whose parameters may be 32756 bytes
// long, so that the longest name and the longest error text fit one frame.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qor_test/interface_fixture.hpp"
#include "qor_async.h"
#include "qor_common_events.h"
#include "qor_helpers.h"

namespace qor::test {
namespace {

using emulator::appendLittleEndian;
using emulator::Bytes;
using emulator::ReceivedFrame;
using emulator::Reply;

constexpr uint32_t kInvalidDataLength = 0x02010002;
constexpr uint32_t kInvalidResponseLength = 0x02010003;
constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kInvalidParameter = 0x02010007;
constexpr uint32_t kUnopenedPort = 200;

class EventsRoad : public InterfaceFixture {
 protected:
  EventsRoad() : InterfaceFixture(modelOfParameterLength32756()) {}

  void SetUp() override {
    InterfaceFixture::SetUp();
    if (HasFatalFailure()) return;
    port_ = open();
    ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength_), 0u);
    ASSERT_EQ(parameterLength_, 32756u);
    device_->recorder().clear();
  }

  uint32_t port_ = QOR_NO_PORT;
  uint32_t parameterLength_ = 0;
};

TEST_F(EventsRoad, UserEventWaitsIsSignalledAndIsGoneAfterItsRelease) {
  void* event = nullptr;
  ASSERT_EQ(Qor_Common_Events_AllocateEvent(port_, &event), 0u) << Qor_GetLastErrorDescription();
  ASSERT_NE(event, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Qor_Common_Events_WaitForSingleEvent(port_, &event, 100), QOR_ERR_API_EVENT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(99));
  Qor_External_SetEvent(static_cast<ExternalEvent*>(event));
  EXPECT_EQ(Qor_Common_Events_WaitForSingleEvent(port_, &event, 1000), 0u);

  ASSERT_EQ(Qor_Common_Events_DeallocateEvent(port_, &event), 0u);
  EXPECT_EQ(event, nullptr);
  // The variable no longer names the released record: a second release and a wait find nothing to touch.
  EXPECT_EQ(Qor_Common_Events_DeallocateEvent(port_, &event), 0u);
  EXPECT_EQ(Qor_Common_Events_WaitForSingleEvent(port_, &event, 10), QOR_ERR_API_INVALID_PARAMETER);
}

TEST_F(EventsRoad, UserEventRefusedByTheCoreIsKeptAndUsable) {
  void* event = nullptr;
  ASSERT_EQ(Qor_Common_Events_AllocateEvent(port_, &event), 0u);
  void* const allocated = event;
  EXPECT_EQ(Qor_Common_Events_DeallocateEvent(kUnopenedPort, &event), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(event, allocated);
  Qor_External_SetEvent(static_cast<ExternalEvent*>(event));
  EXPECT_EQ(Qor_Common_Events_WaitForSingleEvent(port_, &event, 1000), 0u);
  EXPECT_EQ(Qor_Common_Events_DeallocateEvent(port_, &event), 0u);

  void* untouched = &event;
  EXPECT_EQ(Qor_Common_Events_AllocateEvent(kUnopenedPort, &untouched), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(untouched, &event);
  for (uint32_t result :
       {Qor_Common_Events_AllocateEvent(port_, nullptr), Qor_Common_Events_DeallocateEvent(port_, nullptr),
        Qor_Common_Events_WaitForSingleEvent(port_, nullptr, 10)}) {
    EXPECT_EQ(result, kInvalidParameter);
  }
}

TEST_F(EventsRoad, BlockNameUpToTheParameterLengthIsSent) {
  const std::string longest(parameterLength_ - 12, 'n');
  Bytes record;
  appendLittleEndian(record, 8, 4);
  appendLittleEndian(record, 0x5E1EC7, 4);
  appendLittleEndian(record, static_cast<uint32_t>(longest.size()), 2);
  appendLittleEndian(record, 0, 2);
  record.insert(record.end(), longest.begin(), longest.end());
  Bytes answer;
  appendLittleEndian(answer, 8, 4);
  appendLittleEndian(answer, 0xB10C, 4);
  device_->expect(0xCB, record).answer(answer);
  uint32_t id = 0;
  ASSERT_EQ(Qor_Common_Fbp_Fb_GetFbIdByFbName(port_, 0x5E1EC7, longest.c_str(), &id), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_EQ(id, 0xB10Cu);

  const std::string tooLong(parameterLength_ - 11, 'n');
  id = 0;
  EXPECT_EQ(Qor_Common_Fbp_Fb_GetFbIdByFbName(port_, 0, tooLong.c_str(), &id), kInvalidDataLength);
  EXPECT_EQ(std::string(Qor_GetLastErrorDescription()),
            "0x02010002 - COMMON - invalid data length - 'fbName' is too long");
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(device_->recorder().count(), 1u);
}

TEST_F(EventsRoad, LastErrorLongerThanTheRecordFillsItAndReportsBothLengths) {
  constexpr uint16_t kA = 4000, kB = 1000;
  std::string text;
  for (int i = 0; i < kA + kB; ++i) text.push_back(static_cast<char>('a' + i % 26));
  Bytes record;
  for (uint32_t word : {7u, 3u, 0xB10Cu}) appendLittleEndian(record, word, 4);
  Bytes answer;
  for (uint32_t word : {7u, 0x11u, 0x22u, 0x33u}) appendLittleEndian(answer, word, 4);
  appendLittleEndian(answer, kA, 2);
  appendLittleEndian(answer, kB, 2);
  answer.insert(answer.end(), text.begin(), text.end());
  device_->expect(0xCB, record).answer(answer);
  const Qor_Common_Fbp_Fb_LastErrorRequest_t request{3, 0xB10C};
  auto result = std::make_unique<Qor_Common_Fbp_Fb_LastError_t>();
  ASSERT_EQ(Qor_Common_Fbp_Fb_GetLastError(port_, &request, result.get()), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(result->firstWord, 0x11u);
  EXPECT_EQ(result->secondWord, 0x22u);
  EXPECT_EQ(result->thirdWord, 0x33u);
  EXPECT_EQ(result->textLengthA, kA);
  EXPECT_EQ(result->textLengthB, kB);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(result->text), sizeof result->text), text.substr(0, 4096));
  device_->recorder().clear();
  const Qor_Common_Fbp_Fb_LastErrorRequest_t unknownFlag{4, 0xB10C};
  EXPECT_EQ(Qor_Common_Fbp_Fb_GetLastError(port_, &unknownFlag, result.get()), kUnknownFlag);
  EXPECT_EQ(device_->recorder().count(), 0u);
}

TEST_F(EventsRoad, ShortAnswersAreRefusedAndLeaveResultsAlone) {
  // Answers that end before what the functions read: the block id at 4, the text at 20.
  for (size_t length : {size_t{1}, size_t{7}, size_t{19}}) {
    device_->onCommand(0xCB, [length](const ReceivedFrame& frame) -> Reply {
      return frame.response(Bytes(length - 1, 0x5A), 1);  // after the echoed control byte
    });
    uint32_t id = 0xEEEE;
    EXPECT_EQ(Qor_Common_Fbp_Fb_GetFbIdByFbName(port_, 0, "block", &id), length < 8 ? kInvalidResponseLength : 0u)
        << length;
    EXPECT_EQ(id, length < 8 ? 0xEEEEu : 0x5A5A5A5Au) << length;
    const Qor_Common_Fbp_Fb_LastErrorRequest_t request{0, 1};
    auto result = std::make_unique<Qor_Common_Fbp_Fb_LastError_t>();
    result->firstWord = 0xEEEE;
    EXPECT_EQ(Qor_Common_Fbp_Fb_GetLastError(port_, &request, result.get()), kInvalidResponseLength) << length;
    EXPECT_EQ(result->firstWord, 0xEEEEu) << length;
  }
}

}  // namespace
}  // namespace qor::test
