// The 95xx cards the daemon serves: found through the card library at start, identified by the firmware identity
// command on their rings, with the PCI Express link of each card from its configuration header.
#pragma once

#include <span>

#include "card_device_table.hpp"
#include "pxi95xx_library.hpp"

namespace qor::daemon {

// Link speed code of a card without a PCI Express capability, or with a speed the table does not know.
inline constexpr uint8_t kPxi95xxUnknownLinkSpeed = 5;

// The four link bytes of a device record (at +25): maximum speed and width, current speed and width; taken from the
// PCI Express capability of this 256-byte configuration header.
void pxi95xxLinkInformation(std::span<const uint8_t> configHeader, uint8_t link[4]);

// Fills table with the cards found and, when there are any, binds functions (the caller then holds one reference of
// the library). 0 also when there is no card; 0x10C0004 when the library cannot be loaded, 0x10C0005 for a function
// it lacks, 0x10C0006 when it gives no card information, 0x10C0009, 0x10C0001 and 0x10C0002 when a card cannot be
// opened, takes no command or gives no usable answer (the table is then empty and the library not held).
PathStatus probePxi95xxCards(LoadedLibrary& library, Pxi95xxFunctions& functions, CardDeviceTable& table);

} // namespace qor::daemon
