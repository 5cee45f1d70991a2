// Instructions the library sends to a card's firmware itself, and waits for, on the card's rings.
#pragma once

#include <cstdint>

namespace qor::pxi94xx {

inline constexpr uint32_t kAnswerTimeoutMs = 500;

// Drops the answers waiting for the card, so that the next one belongs to the next instruction.
void discardAnswers(uint8_t card);

}  // namespace qor::pxi94xx
