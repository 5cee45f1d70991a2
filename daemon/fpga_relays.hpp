// Relays of the models whose relays sit in FPGA registers: sub-functions 6 to 9 of message 0x40. Relay n (from 1) is
// bit (n - 1) mod 16 of the FPGA register 3 + (n - 1) div 16; writing 1 to register 2 applies the registers. A device
// without such relays (relay count 0) answers "function not available".
#pragma once

#include <cstdint>

#include "access_path.hpp"

namespace qor::daemon {

enum class RelayRequest : uint8_t { Set = 6, Reset = 7, SetDirect = 8, State = 9 };

// Carries out one relay request on device (the port's FPGA lock is held); parameters are the message's bytes from
// offset 12, as the client sent them:
//   Set, Reset   u32 flags (bit 0: all relays), u16 count, count relay numbers (u8)
//   SetDirect    u16 byte count (at most 16), the bytes: bytes 2k and 2k + 1 are register 3 + k
//   State        u16 count, count relay numbers; answer: u16 count, one byte per relay (1: set)
// A State request writes its result into answer and sets answerLength. Every relay number is checked before a
// register is written.
PathStatus switchRelays(Device& device, RelayRequest request, Bytes parameters, Buffer answer, uint32_t& answerLength);

} // namespace qor::daemon
