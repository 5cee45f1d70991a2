// The 94xx cards the daemon serves: found through the card library at start and identified by built-in firmware
// instructions (identity, EEPROM and FPGA reads) on their rings.
#pragma once

#include "card_device_table.hpp"
#include "pxi94xx_library.hpp"

namespace qor::daemon {

// Fills table with the cards found and binds functions. 0 also when there is no card; 0x1070004 when the library
// cannot be loaded, 0x1070005 for a function it lacks, 0x1070006 when it gives no card information, 0x1070001
// and 0x1070002 when a card takes no instruction or gives no usable answer (the cards identified before it stay).
PathStatus probePxi94xxCards(LoadedLibrary& library, Pxi94xxFunctions& functions, CardDeviceTable& table);

} // namespace qor::daemon
