// The firmware buffer as the rest of the library uses it.
#pragma once

#include "ports/port_context.hpp"

namespace qor::client {

// At close, before the daemon is told: disables the port's firmware buffer.
Teardown firmwareBufferTeardown();

} // namespace qor::client
