// How the batches are cut into chunks on ports of the smallest and the largest maximum parameter length: classic
// chunks of at most (length - 4) / 16 messages, extended chunks within the length, trace chunks sent once their
// records pass the length less 92 bytes. The FIFO does not drain until a test lets it, so the cuts are exact.
#include <gtest/gtest.h>

#include <vector>

#include "qor_can_tx_fifo.h"
#include "qor_can_tx_trace.h"
#include "tx_bus_fixture.hpp"
#include "tx_fifo_messages.hpp"

namespace qor::can {
namespace {

using Download = emulator::CanTxFifoFirmware::Download;

constexpr uint32_t kTimeoutMs = 10000;
constexpr uint32_t kBusRate = 20000;

std::vector<Qor_Can_TxTrace_Item_t> longItems(uint32_t count) {
  std::vector<Qor_Can_TxTrace_Item_t> items(count);
  for (uint32_t index = 0; index < count; ++index) {
    items[index].identifier = index;
    items[index].dlc = 15;
  }
  return items;
}

std::vector<uint32_t> recordsPerChunk(const std::vector<Download>& downloads) {
  std::vector<uint32_t> records;
  for (const Download& download : downloads) records.push_back(download.records);
  return records;
}

std::vector<uint32_t> flagsPerChunk(const std::vector<Download>& downloads) {
  std::vector<uint32_t> flags;
  for (const Download& download : downloads) flags.push_back(download.flags);
  return flags;
}

class SmallParameterRoad : public TxBusFixture {
 protected:
  SmallParameterRoad() : TxBusFixture(200, 0, test::modelOfParameterLength1012()) {}
};

class LargeParameterRoad : public TxBusFixture {
 protected:
  LargeParameterRoad() : TxBusFixture(5000, 0, test::modelOfParameterLength32756()) {}
};

TEST_F(SmallParameterRoad, ClassicChunksHoldSixtyThreeMessages) {
  const std::vector<Qor_Can_TxFifo_Msg_t> messages = classicMessages(150);
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, kTimeoutMs, 150, messages.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->chunks(kSender), 3u) << "63, 63 and 24";
  firmware_->setBusRate(kBusRate);
  expectHeardClassic(heardWhenSent(), messages);
}

// What went out before the chunk with the bad item stays queued and is sent.
TEST_F(SmallParameterRoad, AClassicItemWithReservedBytesStopsTheCallAtItsChunk) {
  std::vector<Qor_Can_TxFifo_Msg_t> messages = classicMessages(100);
  messages[70].reserved[0] = 1;
  messages[70].reserved[2] = 1;
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, kTimeoutMs, 100, messages.data()), 0x02020007u);
  EXPECT_EQ(lastText(), "0x02020007 - CAN - invalid parameter - Invalid reserved parameter byte: \n\toffset: 7 "
                        "\n\titem number: 70");
  EXPECT_EQ(firmware_->chunks(kSender), 1u);
  firmware_->setBusRate(kBusRate);
  messages.resize(63);
  expectHeardClassic(heardWhenSent(), messages);
}

TEST_F(SmallParameterRoad, ExtendedChunksStayWithinTheParameterLength) {
  std::vector<Qor_Can_TxFifo_Msg2_t> messages = extendedMessages(40);
  for (Qor_Can_TxFifo_Msg2_t& message : messages) message.dlc = 15;  // 72 bytes each: 14 in 1012
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, kTimeoutMs, 40, messages.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->chunks(kSender), 3u) << "14, 14 and 12";
  EXPECT_EQ(firmware_->freeSlots(kSender), 200u - 80u);
  firmware_->setBusRate(kBusRate);
  EXPECT_EQ(heardWhenSent().size(), 40u);
}

TEST_F(SmallParameterRoad, TraceChunksEndOnceTheirRecordsPassTheLengthLessNinetyTwo) {
  uint32_t handle = 0;
  ASSERT_EQ(Qor_Can_TxTrace_Allocate(port_, &handle), 0u) << lastText();
  const std::vector<Qor_Can_TxTrace_Item_t> items = longItems(30);
  ASSERT_EQ(Qor_Can_TxTrace_Download(port_, handle, 30, 0, items.data()), 0u) << lastText();
  const std::vector<Download> downloads = firmware_->downloads(kSender, handle);
  EXPECT_EQ(recordsPerChunk(downloads), (std::vector<uint32_t>{13, 13, 4})) << "13 x 76 = 988 bytes pass 920";
  EXPECT_EQ(flagsPerChunk(downloads), (std::vector<uint32_t>{0, 1, 1}));
}

TEST_F(LargeParameterRoad, ChunksGrowWithTheParameterLength) {
  const std::vector<Qor_Can_TxFifo_Msg_t> messages = classicMessages(4100);
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, kTimeoutMs, 4100, messages.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->chunks(kSender), 3u) << "2047, 2047 and 6";

  uint32_t handle = 0;
  ASSERT_EQ(Qor_Can_TxTrace_Allocate(port_, &handle), 0u) << lastText();
  const std::vector<Qor_Can_TxTrace_Item_t> items = longItems(500);
  ASSERT_EQ(Qor_Can_TxTrace_Download(port_, handle, 500, 1, items.data()), 0u) << lastText();
  const std::vector<Download> downloads = firmware_->downloads(kSender, handle);
  EXPECT_EQ(recordsPerChunk(downloads), (std::vector<uint32_t>{430, 70})) << "430 x 76 = 32680 bytes pass 32664";
  EXPECT_EQ(flagsPerChunk(downloads), (std::vector<uint32_t>{1, 1}));
}

}  // namespace
}  // namespace qor::can
