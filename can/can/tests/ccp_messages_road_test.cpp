// DAQ and event messages of the CCP master on the whole road: lists that the emulated ECU samples on its own clock,
// collected answer by answer, the caller's room, lost messages, and counts cut to the bytes an answer carries.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ccp_road.hpp"

namespace qor::test {
namespace {

TEST_F(CcpRecords, InitialisationRefusesUnknownFlagsAfterKeepingTheMaximums) {
  const Qor_Can_Ccp_Config_t flags2 = config(2, 8, 3);
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_Init(port_, 0, &flags2), kUnknownFlag, "flag value '0x0002' is unknown"));
  uint32_t flags = 0, count = 7;
  std::vector<Qor_Can_Ccp_Message_t> messages(8);
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_GetDaqMessages(port_, 0, &flags, &count, messages.data()),
                         kResponseBufferUndersized, "minimum size: 8 messages"));
  count = 2;
  EXPECT_TRUE(failedWith(Qor_Can_Ccp_GetEventMessages(port_, 0, &flags, &count, messages.data()),
                         kResponseBufferUndersized, "minimum size: 3 messages"));
  EXPECT_EQ(count, 2u);
}

TEST_F(CcpSession, DaqListsSampledOnTheEcusClockAreCollectedAnswerByAnswer) {
  const Qor_Can_Ccp_Config_t fourDaqTwoEvents = config(0, 4, 2);
  ASSERT_EQ(Qor_Can_Ccp_Init(port_, kChannel, &fourDaqTwoEvents), 0u) << lastError();
  connectAndUnlock(0x02);
  slave_->write(0x4000, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70});
  Qor_Can_Ccp_ShortResult_t size{};
  ASSERT_EQ(Qor_Can_Ccp_Command_GetDaqSize(port_, kChannel, 1, 0x300, &size), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{1, 0, 0x00, 0x03, 0, 0}));
  EXPECT_EQ(size.first, 4);   // ODTs
  EXPECT_EQ(size.second, 4);  // first PID
  ASSERT_EQ(Qor_Can_Ccp_Command_SetDaqPtr(port_, kChannel, 1, 0, 0), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 2, 0, 0x4000), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{4, 0, 0x00, 0x40, 0, 0}));
  ASSERT_EQ(Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 1, 0, 0x4004), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 0, 0, 0x4006), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Ccp_Command_SetDaqPtr(port_, kChannel, 1, 1, 0), 0u) << lastError();
  ASSERT_EQ(Qor_Can_Ccp_Command_WriteDaq(port_, kChannel, 0, 0, 0x4006), 0u) << lastError();
  firmware_->setMessagesPerAnswer(kChannel, 3);
  ASSERT_EQ(Qor_Can_Ccp_Command_StartStop(port_, kChannel, 1, 1, 1, 0, 5), 0u) << lastError();
  EXPECT_EQ(croParameters(), (Bytes{1, 1, 1, 0, 5, 0}));
  std::this_thread::sleep_for(std::chrono::milliseconds(40));

  // Room for far more than a slow run collects, and one message more than the room, to see that none is written there.
  std::vector<Qor_Can_Ccp_Message_t> messages(4097);
  uint32_t flags = 0xFF, count = static_cast<uint32_t>(messages.size() - 1);
  ASSERT_EQ(Qor_Can_Ccp_GetDaqMessages(port_, kChannel, &flags, &count, messages.data()), 0u) << lastError();
  EXPECT_EQ(flags, 0u);
  ASSERT_GE(count, 8u);  // at least four cycles of two ODTs, in several answers of three
  EXPECT_EQ(count % 2, 0u);
  for (uint32_t index = 0; index < count; ++index) {
    const Bytes expected = index % 2 == 0 ? Bytes{4, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70}
                                          : Bytes{5, 0x70, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(messages[index].data, messages[index].data + 8), expected) << index;
    EXPECT_EQ(messages[index].valueByte, 0x5A);
  }
  EXPECT_EQ(Bytes(messages[count].data, messages[count].data + 8), Bytes(8, 0));  // nothing past the count

  // Room for four: the answer that overfills it loses the rest of its messages; the others wait in the firmware.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<Qor_Can_Ccp_Message_t> four(5);
  four[4].valueByte = 0xEE;
  count = 4;
  ASSERT_EQ(Qor_Can_Ccp_GetDaqMessages(port_, kChannel, &flags, &count, four.data()), 0u) << lastError();
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(flags, QOR_CAN_CCP_MESSAGES_LOST);
  EXPECT_EQ(four[4].valueByte, 0xEE);

  firmware_->raiseEvent(kChannel, {0xFE, 0x10, 1, 2, 3, 4, 5, 6});
  firmware_->raiseEvent(kChannel, {0xFE, 0x11, 0, 0, 0, 0, 0, 9});
  firmware_->loseMessages(kChannel);
  std::vector<Qor_Can_Ccp_Message_t> events(2);
  count = 2;
  ASSERT_EQ(Qor_Can_Ccp_GetEventMessages(port_, kChannel, &flags, &count, events.data()), 0u) << lastError();
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(flags, QOR_CAN_CCP_MESSAGES_LOST);
  EXPECT_EQ(Bytes(events[0].data, events[0].data + 8), (Bytes{0xFE, 0x10, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Bytes(events[1].data, events[1].data + 8), (Bytes{0xFE, 0x11, 0, 0, 0, 0, 0, 9}));
}

// The firmware's message answers from the request table: counts it announces against the bytes it sent.
TEST_F(CcpRecords, MessageCountsAreCutToTheBytesOfTheAnswer) {
  const Bytes request = RecordBytes().u8(7).u8(0).u16(0);
  const Bytes message = RecordBytes().bytes({1, 2, 3, 4, 5, 6, 7, 8}).u8(0x42).zeros(3);
  // Five announced, one carried and "more": the next answer says more again but carries none.
  device_->expect(kCcp, request).answer(RecordBytes().u8(7).u8(0).u16(0).u8(2).zeros(3).u32(5).bytes(message));
  device_->expect(kCcp, request).answer(RecordBytes().u8(7).u8(0).u16(0).u8(2).zeros(3).u32(0xFFFFFFFF));
  device_->expect(kCcp, RecordBytes().u8(8).u8(0).u16(0)).fail(kFirmwareError, "busy");
  std::vector<Qor_Can_Ccp_Message_t> messages(3);
  messages[1].valueByte = 0xEE;
  uint32_t flags = 0, count = 3;
  ASSERT_EQ(Qor_Can_Ccp_GetDaqMessages(port_, 0, &flags, &count, messages.data()), 0u) << lastError();
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(flags, QOR_CAN_CCP_MESSAGES_LOST);
  EXPECT_EQ(messages[0].valueByte, 0x42);
  EXPECT_EQ(Bytes(messages[0].data, messages[0].data + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(messages[1].valueByte, 0xEE);
  count = 3;
  EXPECT_EQ(Qor_Can_Ccp_GetEventMessages(port_, 0, &flags, &count, messages.data()), kFirmwareError);
  EXPECT_EQ(count, 3u);
}

}  // namespace
}  // namespace qor::test
