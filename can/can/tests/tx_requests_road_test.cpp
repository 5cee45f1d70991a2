// What every transmit FIFO and trace call sends, byte for byte, and how it reads the answers: the device answers from
// the table only.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "qor_api.h"
#include "qor_can_tx_fifo.h"
#include "qor_can_tx_trace.h"
#include "qor_test/interface_fixture.hpp"

namespace qor::can {
namespace {

using emulator::Bytes;
using emulator::words;

constexpr uint32_t kHandle = 7;

std::string lastText() { return Qor_GetLastErrorDescription(); }

Bytes joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A trace answer: the request's two words and three more.
Bytes traceAnswer(uint32_t subFunction, uint32_t first = 0, uint32_t second = 0, uint32_t third = 0) {
  return words({subFunction, kHandle, first, second, third});
}

class TxRequests : public test::InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    port_ = open();
  }
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(TxRequests, FifoCommands) {
  device_->expect(0xB0, words({0}));
  device_->expect(0xB1, words({0x123, 2}, {0xA1, 0xA2}));
  device_->expect(0xB3, {}).answer(words({5, 0x55}));
  // Two classic messages for five free slots.
  device_->expect(0xB3, {}).answer(words({5, 0}));
  device_->expect(0xB2, joined({words({2, 0x10, 3}, {1, 2, 3, 0, 0, 0, 0, 0}), words({0x11, 0}, Bytes(8))}));
  // An extended message of 5 data bytes, padded to 16.
  device_->expect(0xB3, {}).answer(words({2, 0}));
  device_->expect(0xB4, words({0x1ABCDEF0}, {5, 1, 2, 0, 1, 2, 3, 4, 5, 0, 0, 0}));

  ASSERT_EQ(Qor_Can_TxFifo_Reset(port_), 0u) << lastText();
  const uint8_t data[] = {0xA1, 0xA2};
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsg(port_, 0x123, data, 2), 0u) << lastText();
  uint32_t secondState = 0;
  uint32_t freeSlots = 0;
  ASSERT_EQ(Qor_Can_TxFifo_GetState(port_, &secondState, &freeSlots), 0u) << lastText();
  EXPECT_EQ(freeSlots, 5u);
  EXPECT_EQ(secondState, 0x55u);
  const Qor_Can_TxFifo_Msg_t classic[2] = {{0x10, 3, {0, 0, 0}, {1, 2, 3, 4}}, {0x11, 0, {0, 0, 0}, {9}}};
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs(port_, 100, 2, classic), 0u) << lastText();
  Qor_Can_TxFifo_Msg2_t extended{0x1ABCDEF0, 5, 1, 2, 0, {1, 2, 3, 4, 5, 6}};
  ASSERT_EQ(Qor_Can_TxFifo_QueueMsgs2(port_, 0, 100, 1, &extended), 0u) << lastText();
}

TEST_F(TxRequests, TraceCommands) {
  device_->expect(0x79, words({0, 0})).answer(words({0, 0, kHandle, 0, 0}));
  // Items of 1 and 9 data bytes with the caller's flags 2: records of 20 and 24 bytes, options 2 and 3 swapped.
  device_->expect(0x79, joined({words({2, kHandle, 2, 2}),
                                 words({0x11, 0x100}, {1, 0xA, 0xC, 0xB, 0xD1, 0, 0, 0, 0, 0, 0, 0}),
                                 words({0x22, 0x40000200}, {9, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})}))
      .answer(traceAnswer(2));
  device_->expect(0x79, words({3, kHandle, 0})).answer(traceAnswer(3));
  device_->expect(0x79, words({4, kHandle})).answer(traceAnswer(4, 2, 8, 3));
  device_->expect(0x79, words({5, kHandle, 1, 99})).answer(traceAnswer(5));
  device_->expect(0x79, words({6, kHandle, 1})).answer(traceAnswer(6, 1, 99));
  device_->expect(0x79, words({1, kHandle})).answer(traceAnswer(1));

  uint32_t handle = 0;
  ASSERT_EQ(Qor_Can_TxTrace_Allocate(port_, &handle), 0u) << lastText();
  EXPECT_EQ(handle, kHandle);
  const Qor_Can_TxTrace_Item_t items[2] = {{0x11, 0x100, 1, 0xA, 0xB, 0xC, {0xD1, 0xD2}},
                                           {0x22, 0x200, 9, 0, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}}};
  ASSERT_EQ(Qor_Can_TxTrace_Download(port_, kHandle, 2, 2, items), 0u) << lastText();
  ASSERT_EQ(Qor_Can_TxTrace_Play(port_, kHandle, 0), 0u) << lastText();
  Qor_Can_TxTrace_State_t state{};
  ASSERT_EQ(Qor_Can_TxTrace_GetState(port_, kHandle, &state), 0u) << lastText();
  EXPECT_EQ(state.state, 2u);
  EXPECT_EQ(state.secondValue, 8u);
  EXPECT_EQ(state.thirdValue, 3u);
  ASSERT_EQ(Qor_Can_TxTrace_Property_SetById(port_, kHandle, 1, 99), 0u) << lastText();
  uint32_t value = 0;
  ASSERT_EQ(Qor_Can_TxTrace_Property_GetById(port_, kHandle, 1, &value), 0u) << lastText();
  EXPECT_EQ(value, 99u);
  ASSERT_EQ(Qor_Can_TxTrace_Free(port_, kHandle), 0u) << lastText();
}

}  // namespace
}  // namespace qor::can
