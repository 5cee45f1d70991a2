// Monitors: the bus filters in front of the matching, delivery into the instances, and closing them.
#pragma once

#include "ports/port_context.hpp"

// Delivers one block of monitor data to an instance (the filters, and message 0x33 for instance 0).
void Qor_Monitor_ReceivedData(Qor_PortInfo_t& entry, uint8_t instance, const uint8_t* data, size_t length);

namespace qor::client {

// At close, while the port answers: closes the four instances; the first failure keeps the port open.
Teardown monitorsTeardown();

} // namespace qor::client
