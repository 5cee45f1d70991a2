// The interfaces connected now, of every access path: provided by the interface enumeration.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_interface_list.h"

namespace qor::client {

// At most room records; 0, or the enumeration's code (recorded by it).
uint32_t connectedInterfaces(uint32_t room, std::vector<Qor_InterfaceData_t>& interfaces);

} // namespace qor::client
