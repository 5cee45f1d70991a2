// The transmit FIFO's records byte for byte, as the firmware takes them.
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "can_library.hpp"
#include "tx_fifo_records.hpp"
#include "tx_fifo_state.hpp"

namespace qor::can {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const kit::RecordWriter& record) {
  EXPECT_FALSE(record.overflowed());
  return Bytes(record.view().begin(), record.view().end());
}

Bytes counting(uint8_t first, size_t count) {
  Bytes data(count);
  for (size_t index = 0; index < count; ++index) data[index] = static_cast<uint8_t>(first + index);
  return data;
}

TEST(TxFifoRecords, OneMessageCarriesTheDataBytesOfItsDlc) {
  const struct {
    uint8_t dlc;
    Bytes expected;
  } cases[] = {
      {0, {0x21, 0x03, 0, 0, 0, 0, 0, 0}},
      {3, {0x21, 0x03, 0, 0, 3, 0, 0, 0, 0xA0, 0xA1, 0xA2}},
      {9, {0x21, 0x03, 0, 0, 9, 0, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB}},
  };
  for (const auto& c : cases) {
    const Bytes data = counting(0xA0, dataBytesOfDlc(c.dlc));
    EXPECT_EQ(bytesOf(singleMessageRecord(0x321, c.dlc, data)), c.expected) << int{c.dlc};
  }
  EXPECT_EQ(singleMessageRecord(0, 15, counting(0, 64)).size(), 72u);
}

TEST(TxFifoRecords, AClassicChunkHasSixteenBytesPerMessageAndAtMostEightDataBytes) {
  Qor_Can_TxFifo_Msg_t messages[2] = {};
  messages[0].identifier = 0x12345678;
  messages[0].dlc = 2;
  messages[0].data[0] = 0x11;
  messages[0].data[1] = 0x22;
  messages[0].data[2] = 0x33;  // past the DLC: not sent
  messages[1].identifier = 0x7FF;
  messages[1].dlc = 12;  // more than 8: the eight bytes, the DLC unchanged
  for (uint8_t index = 0; index < 8; ++index) messages[1].data[index] = static_cast<uint8_t>(0xB0 + index);
  const Bytes expected = {2, 0, 0, 0,
                          0x78, 0x56, 0x34, 0x12, 2, 0, 0, 0, 0x11, 0x22, 0, 0, 0, 0, 0, 0,
                          0xFF, 0x07, 0, 0, 12, 0, 0, 0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};
  EXPECT_EQ(bytesOf(classicChunkRecord(messages)), expected);
}

TEST(TxFifoRecords, TheHighestReservedByteThatIsSetIsNamed) {
  const struct {
    uint8_t reserved[3];
    uint32_t offset;
  } cases[] = {{{0, 0, 0}, 0}, {{1, 0, 0}, 5}, {{0, 1, 0}, 6}, {{1, 0, 1}, 7}, {{0xFF, 0xFF, 0}, 6}};
  for (const auto& c : cases) {
    Qor_Can_TxFifo_Msg_t message{};
    std::copy(std::begin(c.reserved), std::end(c.reserved), message.reserved);
    EXPECT_EQ(highestReservedOffset(message), c.offset);
  }
}

TEST(TxFifoRecords, AnExtendedRecordIsPaddedToFourBytes) {
  Qor_Can_TxFifo_Msg2_t message{};
  message.identifier = 0x1ABCDEF0;
  message.dlc = 5;
  message.itemFlag = 1;
  for (uint8_t index = 0; index < 64; ++index) message.data[index] = static_cast<uint8_t>(0xC0 + index);
  kit::RecordWriter chunk(100);
  appendExtendedRecord(chunk, message, 3);
  message.dlc = 9;
  message.itemFlag = 0;
  appendExtendedRecord(chunk, message, 1);
  const Bytes expected = {0xF0, 0xDE, 0xBC, 0x1A, 5, 1, 3, 0, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0, 0, 0,
                          0xF0, 0xDE, 0xBC, 0x1A, 9, 0, 1, 0, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
                          0xC8, 0xC9, 0xCA, 0xCB};
  EXPECT_EQ(bytesOf(chunk), expected);
  const struct {
    uint8_t dlc;
    uint32_t bytes;
  } sizes[] = {{0, 8}, {1, 12}, {4, 12}, {5, 16}, {8, 16}, {9, 20}, {12, 32}, {15, 72}};
  for (const auto& s : sizes) EXPECT_EQ(extendedRecordBytes(s.dlc), s.bytes) << int{s.dlc};
}

TEST(TxFifoState, AnAnswerShorterThanEightBytesIsNoState) {
  const Bytes answer = {5, 0, 0, 0, 9, 0, 0, 0};
  const std::optional<TxFifoState> state = decodeTxFifoState(answer);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->freeSlots, 5u);
  EXPECT_EQ(state->secondValue, 9u);
  EXPECT_FALSE(decodeTxFifoState(std::span(answer).first(7)));
}

}  // namespace
}  // namespace qor::can
