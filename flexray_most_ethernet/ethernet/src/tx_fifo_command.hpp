// The transmit FIFOs' firmware command 0x23: records begin with a u32 sub-function, sent with one control byte.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"

namespace qor::ethernet {

inline constexpr uint8_t kTxFifoCommand = 0x23;
inline constexpr uint32_t kTxFifoAnswerCapacity = 12;

enum TxFifoSubFunction : uint32_t {
  kTxFifoConfigure = 0,
  kTxFifoDelete = 1,
  kTxFifoWrite = 2,
  kTxFifoConnect = 3,
  kTxFifoDisconnect = 4,
  kTxFifoState = 5,
};

inline uint32_t exchangeTxFifo(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kTxFifoCommand, 1, record, answer, kTxFifoAnswerCapacity);
}

}  // namespace qor::ethernet
