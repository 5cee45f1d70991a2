// The handlers of the messages on a port's response queue, whoever received them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_client_state.h"

namespace qor::client {

enum class Receiver { ResponseThread, Caller };

enum class Delivery {
  Handled,
  LeftForResponseThread, // a caller received it, and its handler would run user code: it stays in the buffer
  LastMessage,           // the daemon closed the queue (0x05): nothing more comes
};

Delivery deliverResponseMessage(Qor_PortInfo_t& entry, const uint8_t* message, size_t length, Receiver receiver);

} // namespace qor::client
