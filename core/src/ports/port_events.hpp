// The events a caller of a port waits on.
#pragma once

#include <cstdint>

#include "ports/port_context.hpp"

namespace qor::client {

// Points the port's events into its event pair: 0, or 0x2000103 when the pair could not be made.
uint32_t createEvents(Qor_PortContext& context);

// Sets the error event together with the code it carries, so that the waiter returns exactly this code.
void signalError(Qor_PortContext& context, uint32_t code);

// Clears the acknowledge, response and error events before a command is sent.
void clearExchangeEvents(Qor_PortContext& context);

// The waiting itself is in commands/receive_role.hpp: a waiter may receive for itself.

} // namespace qor::client
