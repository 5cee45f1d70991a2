// Relays of the models whose relays sit in FPGA registers: sub-functions 6 to 9 of message 0x40. The relay layer
// comes with the FPGA configuration files; until then every relay request answers as the device-access table does
// for an operation a path does not provide.
#pragma once

#include <cstdint>

#include "access_path.hpp"

namespace qor::daemon {

enum class RelayRequest : uint8_t { Set = 6, Reset = 7, SetDirect = 8, State = 9 };

// Carries out one relay request on device (the port's FPGA lock is held); parameters are the message's bytes from
// offset 12, as the client sent them. A State request writes its result into answer and sets answerLength.
PathStatus switchRelays(Device& device, RelayRequest request, Bytes parameters, Buffer answer, uint32_t& answerLength);

} // namespace qor::daemon
