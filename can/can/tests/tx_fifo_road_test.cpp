// The transmit FIFO on the whole road: the library feeds the emulated firmware's FIFO, which drains onto the emulated
// bus at its bus rate; a listener on the other node checks what really arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "qor_async.h"
#include "qor_can_message.h"
#include "qor_can_tx_fifo.h"
#include "tx_bus_fixture.hpp"
#include "tx_fifo_messages.hpp"

namespace qor::can {
namespace {

using namespace std::chrono_literals;
using emulator::Bytes;
using emulator::CanFrame;

constexpr uint32_t kFifoSlots = 32;
constexpr uint32_t kBusRate = 4000;  // frames per second
constexpr uint32_t kGenerousTimeoutMs = 10000;
constexpr uint32_t kUnknownFlag = 0x02020004;
constexpr uint32_t kInvalidParameter = 0x02020007;
constexpr uint32_t kShortAnswer = 0x02020003;
constexpr uint32_t kInvalidDlc = 0x02020101;
constexpr uint32_t kFifoTimeout = 0x02020301;

class TxFifoRoad : public TxBusFixture {
 protected:
  TxFifoRoad() : TxBusFixture(kFifoSlots, kBusRate) {}
};

// An odd number of slots: one stays free that no extended message fits.
class OddTxFifoRoad : public TxBusFixture {
 protected:
  OddTxFifoRoad() : TxBusFixture(21, kBusRate) {}
};

TEST_F(TxFifoRoad, MoreMessagesThanTheFifoHoldsArriveOnceInOrder) {
  const std::vector<Qor_Can_TxFifo_Msg_t> messages = classicMessages(300);
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, kGenerousTimeoutMs, 300, messages.data()), 0u) << lastText();
  expectHeardClassic(heardWhenSent(), messages);
  EXPECT_EQ(firmware_->lostMessages(kSender), 0u);
  EXPECT_GE(firmware_->chunks(kSender), 300u / kFifoSlots) << "fed as slots came free";
}

TEST_F(OddTxFifoRoad, ExtendedMessagesWaitForTwoFreeSlotsAndAllArrive) {
  const std::vector<Qor_Can_TxFifo_Msg2_t> messages = extendedMessages(120);
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, kGenerousTimeoutMs, 120, messages.data()), 0u) << lastText();
  const std::vector<CanFrame> heard = heardWhenSent();
  ASSERT_EQ(heard.size(), messages.size());
  for (size_t index = 0; index < messages.size(); ++index) {
    const Qor_Can_TxFifo_Msg2_t& message = messages[index];
    EXPECT_EQ(heard[index].identifier, message.identifier) << index;
    EXPECT_EQ(heard[index].flags, message.msgFlags) << index;
    EXPECT_EQ(heard[index].dlc, message.dlc) << index;
    const uint8_t dataBytes = Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[message.dlc];
    EXPECT_EQ(heard[index].data, Bytes(message.data, message.data + dataBytes)) << index;
  }
  EXPECT_EQ(firmware_->lostMessages(kSender), 0u);
}

TEST_F(TxFifoRoad, AFifoThatStaysFullEndsTheCallAfterTheTimeOutAndKeepsWhatWasQueued) {
  firmware_->setBusRate(0);
  const std::vector<Qor_Can_TxFifo_Msg_t> classic = classicMessages(50);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, 100, 50, classic.data()), kFifoTimeout);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 100ms);
  EXPECT_LT(took, 600ms) << "the time-out and a poll, with room for a loaded machine";
  EXPECT_EQ(lastText(), "0x02020301 - CAN - tx fifo timeout");
  EXPECT_EQ(firmware_->freeSlots(kSender), 0u);

  firmware_->setBusRate(kBusRate);
  expectHeardClassic(heardWhenSent(),
                     std::vector<Qor_Can_TxFifo_Msg_t>(classic.begin(), classic.begin() + kFifoSlots));

  firmware_->setBusRate(0);
  const std::vector<Qor_Can_TxFifo_Msg2_t> extended = extendedMessages(20);
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, 50, 20, extended.data()), kFifoTimeout);
  EXPECT_EQ(firmware_->freeSlots(kSender), 0u) << "two slots for each of 16 messages";
  firmware_->setBusRate(kBusRate);
  EXPECT_EQ(heardWhenSent().size(), kFifoSlots + 16);
  EXPECT_EQ(firmware_->lostMessages(kSender), 0u);
}

TEST_F(TxFifoRoad, NothingToQueueAsksNothing) {
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, 10, 0, nullptr), 0u);
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, 10, 0, nullptr), 0u);
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 1, 10, 0, nullptr), kUnknownFlag);
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, 10, 1, nullptr), kInvalidParameter);
  EXPECT_EQ(firmware_->stateQueries(kSender), 0u);
}

TEST_F(TxFifoRoad, ExtendedItemsAreCheckedBeforeTheirChunkIsSent) {
  const struct {
    const char* what;
    void (*spoil)(Qor_Can_TxFifo_Msg2_t&);
    uint32_t code;
    const char* text;
  } cases[] = {
      {"reserved", [](Qor_Can_TxFifo_Msg2_t& m) { m.reserved = 1; }, kInvalidParameter,
       "0x02020007 - CAN - invalid parameter - reserved bytes in item with index '2' must be zero"},
      {"item flag", [](Qor_Can_TxFifo_Msg2_t& m) { m.itemFlag = 2; }, kUnknownFlag,
       "0x02020004 - CAN - unknown flag - unknown flag in item with index '2'"},
      {"message flags", [](Qor_Can_TxFifo_Msg2_t& m) { m.msgFlags = 4; }, kUnknownFlag,
       "0x02020004 - CAN - unknown flag - unknown CAN message flag in item with index '2'"},
      {"dlc", [](Qor_Can_TxFifo_Msg2_t& m) { m.dlc = 16; }, kInvalidDlc,
       "0x02020101 - CAN - invalid dlc - only values from 0 to 16 are valid"},
  };
  for (const auto& c : cases) {
    std::vector<Qor_Can_TxFifo_Msg2_t> messages = extendedMessages(3);
    c.spoil(messages[2]);
    EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, kGenerousTimeoutMs, 3, messages.data()), c.code) << c.what;
    EXPECT_EQ(lastText(), c.text) << c.what;
  }
  EXPECT_EQ(firmware_->chunks(kSender), 0u);
  EXPECT_EQ(heardWhenSent().size(), 0u);
}

// A bad extended message late in a long call is found before the first chunk leaves: nothing reaches the FIFO, so a
// retry after mending it sends no message twice.
TEST_F(TxFifoRoad, ABadExtendedMessageLateInTheCallSendsNothing) {
  std::vector<Qor_Can_TxFifo_Msg2_t> extended = extendedMessages(100);
  extended[90].itemFlag = 2;
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, kGenerousTimeoutMs, 100, extended.data()), kUnknownFlag);
  EXPECT_EQ(lastText(), "0x02020004 - CAN - unknown flag - unknown flag in item with index '90'");
  EXPECT_EQ(firmware_->chunks(kSender), 0u);
  EXPECT_EQ(firmware_->stateQueries(kSender), 0u);
  EXPECT_EQ(heardWhenSent().size(), 0u);
}

TEST_F(TxFifoRoad, OneMessageCarriesTheDataOfItsDlcAndResetDropsWhatWaits) {
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsg(port_, 0x1F, data.data(), 9), 0u) << lastText();
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsg(port_, 0x1F, data.data(), 16), kInvalidDlc);
  EXPECT_EQ(lastText(), "0x02020101 - CAN - invalid dlc - only values from 0 to 16 are valid");
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsg(port_, 0x1F, nullptr, 1), kInvalidParameter);
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsg(port_, 0x20, nullptr, 0), 0u) << lastText();
  std::vector<CanFrame> heard = heardWhenSent();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].identifier, 0x1Fu);
  EXPECT_EQ(heard[0].data, data);
  EXPECT_EQ(heard[1].dlc, 0);

  firmware_->setBusRate(0);
  for (uint32_t index = 0; index < 5; ++index) ASSERT_EQ(Qor_Can_TxFifo_QueueMsg(port_, index, data.data(), 1), 0u);
  uint32_t secondValue = 1;
  uint32_t freeSlots = 0;
  ASSERT_EQ(Qor_Can_TxFifo_GetState(port_, &secondValue, &freeSlots), 0u) << lastText();
  EXPECT_EQ(freeSlots, kFifoSlots - 5);
  EXPECT_EQ(secondValue, 0u) << "no message lost";
  ASSERT_EQ(Qor_Can_TxFifo_Reset(port_), 0u) << lastText();
  ASSERT_EQ(Qor_Can_TxFifo_GetState(port_, &secondValue, &freeSlots), 0u) << lastText();
  EXPECT_EQ(freeSlots, kFifoSlots);
  firmware_->setBusRate(kBusRate);
  EXPECT_EQ(heardWhenSent().size(), 2u);
}

// A state answer shorter than its eight bytes is refused by every caller, never read past.
TEST_F(TxFifoRoad, AShortStateAnswerIsRefused) {
  device_->expect(0xB3, {}).answer({7, 0, 0, 0});
  device_->expect(0xB3, {}).answer({7, 0, 0, 0, 1, 0, 0});
  uint32_t secondValue = 0xEE;
  uint32_t freeSlots = 0xEE;
  EXPECT_EQ(Qor_Can_TxFifo_GetState(port_, &secondValue, &freeSlots), kShortAnswer);
  EXPECT_EQ(lastText(), "0x02020003 - CAN - invalid response length - 4");
  EXPECT_EQ(freeSlots, 0xEEu);
  const std::vector<Qor_Can_TxFifo_Msg_t> messages = classicMessages(3);
  EXPECT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, kGenerousTimeoutMs, 3, messages.data()), kShortAnswer);
  EXPECT_EQ(lastText(), "0x02020003 - CAN - invalid response length - 7");
  EXPECT_EQ(firmware_->chunks(kSender), 0u);
}

struct StateInbox {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::string> entries;

  void put(std::string entry) {
    const std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
    arrived.notify_all();
  }
  bool waitFor(size_t count) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, 3s, [&] { return entries.size() >= count; });
  }
};
StateInbox gInbox;

void stateArrived(uint32_t, uint32_t secondState, uint32_t freeSlots) {
  gInbox.put("state " + std::to_string(secondState) + " " + std::to_string(freeSlots));
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gInbox.put(std::to_string(code) + " " + std::string(text, length));
}

TEST_F(TxFifoRoad, TheStateArrivesAsynchronouslyAndAShortOneReachesTheErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastText();
  EXPECT_EQ(Qor_Can_TxFifo_GetState_Async_AddCallback(port_, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Can_TxFifo_GetState_Async_AddCallback(port_, stateArrived), 0u) << lastText();
  ASSERT_EQ(Qor_Can_TxFifo_GetState_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(1));
  EXPECT_EQ(gInbox.entries[0], "state 0 32");

  device_->expect(0xB3, {}).answer({1, 2, 3});
  ASSERT_EQ(Qor_Can_TxFifo_GetState_Async(port_), 0u) << lastText();
  ASSERT_TRUE(gInbox.waitFor(2));
  EXPECT_EQ(gInbox.entries[1],
            std::to_string(kShortAnswer) + " 'Qor_Can_TxFifo_GetState_Async' error" + std::string(1, '\0'));
  EXPECT_EQ(Qor_Can_TxFifo_GetState_Async_RemoveCallback(port_), 0u);
}

}  // namespace
}  // namespace qor::can
