// The firmware buffer as the rest of the library uses it.
#pragma once

#include "ports/port_context.hpp"

namespace qor::client {

// Disables the port's firmware buffer; the response thread writes into it only under the same section.
void disableFirmwareBuffer(Qor_PortInfo_t& entry);

} // namespace qor::client
