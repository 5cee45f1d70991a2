// The port that switches a LIN port's relays: the port itself, or on models whose relays sit behind controller 1 a
// controller-1 port of the same device, found or opened for the call.
#pragma once

#include <cstdint>

#include "lin_library.hpp"
#include "qor_api.h"

namespace qor::lin {

bool relaysBehindController1(uint32_t port);

// Runs command(Call) on the relay port. A port opened for it is closed afterwards: the command's failure comes
// first, else the close's result.
template <class Command>
uint32_t onRelayPort(const kit::Call& call, Command command) {
  if (!relaysBehindController1(call.port())) return command(call);
  uint32_t relayPort = QOR_NO_PORT;
  uint8_t opened = 0;
  if (uint32_t code = Qor_GetRelayPort(call.port(), &relayPort, &opened)) return code;
  const uint32_t code = command(kit::Call(call.library(), relayPort));
  if (!opened) return code;
  const uint32_t closed = Qor_CloseInterface(relayPort);
  return code != 0 ? code : closed;
}

}  // namespace qor::lin
