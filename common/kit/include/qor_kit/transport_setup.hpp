// Setting up a transport-protocol channel of the firmware (command 0x8E, answer capacity 8), as the CAN, FlexRay and
// Ethernet libraries do: a 12-byte head, then the protocol's fields, zeros up to the bus's record length.
//   +0 u8 3 (set-up), +1 u8 channel, +2 u16 0, +4 u16 protocol, +6 u16 0, +8 u16 flags, +10 u16 0
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::kit {

inline constexpr uint8_t kTransportSetupCommand = 0x8E;
inline constexpr uint32_t kTransportSetupAnswerCapacity = 8;
inline constexpr size_t kTransportSetupHeadBytes = 12;

// The head, in a record of recordBytes for the protocol's fields to follow.
RecordWriter transportSetupRecord(size_t recordBytes, uint8_t channel, uint16_t protocol, uint16_t flags);

// Fills the record with zeros to its length and sends it; controlBytes of it match the answer.
uint32_t sendTransportSetup(const Call& call, uint8_t controlBytes, RecordWriter& record);

}  // namespace qor::kit
