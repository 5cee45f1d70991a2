// How a listed interface is known: its identifier in the interface configuration file and the descriptor that
// opens it. Compiled into libqor_api and into the XML library, which writes the identifiers that the core looks up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "qor_interface_list.h"

namespace qor {

// "<serial>[_Ethernet|_UsbOverEthernet]_<controller>_<interface>_<TYPE WORD>"; nothing for an interface type
// without a word (1, 15 and those outside 2 to 16).
std::optional<std::string> interfaceIdentifier(uint32_t serialNumber, uint32_t communicationType,
                                               uint32_t interfaceType, uint32_t controllerNumber,
                                               uint32_t interfaceNumber);
std::optional<std::string> interfaceIdentifier(const Qor_InterfaceData_t& record);

// The descriptor that opens the listed interface, addressed as its attachment requires.
Qor_InterfaceInfo_t interfaceDescriptor(const Qor_InterfaceData_t& record);

} // namespace qor
