// The cards the library opened: one bridge device object per card number, BAR0 mapped while it is open.
#pragma once

#include <cstdint>

#include "Pxi94xx.h"

namespace qor::pxi94xx {

struct Cards {
  PlxDeviceObject_t gDevice[PXI94XX_CARD_COUNT_MAX];
  uint32_t count = 0;  // cards opened
};

Cards& cards();

// The checks of every function that takes a card number (1-16): 0 or the code.
uint32_t checkCard(uint8_t card);
// BAR0 of a card that passed checkCard.
volatile uint8_t* bar0Of(uint8_t card);
PlxDeviceObject_t& deviceOf(uint8_t card);

// Opens every card found; 0 when at least one is open, else the last status of the bridge layer.
uint32_t openCards();
// Unmaps and closes every open card; the last close status.
uint32_t closeCards();

}  // namespace qor::pxi94xx
