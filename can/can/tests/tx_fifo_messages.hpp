// Batches of messages for the transmit FIFO, each message different, and the check of what the bus carried.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "qor_can_tx_fifo.h"
#include "qor_emulator/can_bus.hpp"

namespace qor::can {

inline std::vector<Qor_Can_TxFifo_Msg_t> classicMessages(uint32_t count) {
  std::vector<Qor_Can_TxFifo_Msg_t> messages(count);
  for (uint32_t index = 0; index < count; ++index) {
    messages[index].identifier = 0x100 + index;
    messages[index].dlc = static_cast<uint8_t>(index % 10);  // 9: eight bytes go
    for (uint8_t byte = 0; byte < 8; ++byte) messages[index].data[byte] = static_cast<uint8_t>(index + byte);
  }
  return messages;
}

inline std::vector<Qor_Can_TxFifo_Msg2_t> extendedMessages(uint32_t count) {
  std::vector<Qor_Can_TxFifo_Msg2_t> messages(count);
  for (uint32_t index = 0; index < count; ++index) {
    messages[index].identifier = 0x1000 + index;
    messages[index].dlc = static_cast<uint8_t>(index % 16);
    messages[index].itemFlag = static_cast<uint8_t>(index % 2);
    messages[index].msgFlags = static_cast<uint8_t>(index % 4);
    for (uint8_t byte = 0; byte < 64; ++byte) messages[index].data[byte] = static_cast<uint8_t>(index * 3 + byte);
  }
  return messages;
}

inline void expectHeardClassic(const std::vector<emulator::CanFrame>& heard,
                               const std::vector<Qor_Can_TxFifo_Msg_t>& sent) {
  ASSERT_EQ(heard.size(), sent.size());
  for (size_t index = 0; index < sent.size(); ++index) {
    const Qor_Can_TxFifo_Msg_t& message = sent[index];
    EXPECT_EQ(heard[index].identifier, message.identifier) << index;
    EXPECT_EQ(heard[index].dlc, message.dlc) << index;
    const uint8_t copied = std::min<uint8_t>(message.dlc, 8);
    EXPECT_EQ(heard[index].data, emulator::Bytes(message.data, message.data + copied)) << index;
  }
}

}  // namespace qor::can
