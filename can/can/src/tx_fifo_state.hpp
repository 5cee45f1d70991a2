// The transmit FIFO's state (0xB3), as the getter and the feeders ask it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "qor_kit/call.hpp"

namespace qor::can {

struct TxFifoState {
  uint32_t freeSlots;
  uint32_t secondValue;
};

// Empty when the answer is shorter than the state.
std::optional<TxFifoState> decodeTxFifoState(std::span<const uint8_t> answer);

// Asks the firmware; a short answer gives "invalid response length" with its length.
uint32_t readTxFifoState(const kit::Call& call, TxFifoState& state);

}  // namespace qor::can
