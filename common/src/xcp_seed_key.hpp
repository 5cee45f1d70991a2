// Seed & key on a command session, for GET_SEED/UNLOCK and for the start of a DAQ on a protected slave.
#pragma once

#include <cstdint>
#include <span>

#include "xcp_command_session.hpp"

namespace qor::common::xcp {

// The seed for a resource (RESOURCE byte code) into seed; length: its capacity on entry, the seed's length on return.
uint32_t askSeed(const CommandSession& session, uint8_t resourceCode, uint32_t& length, uint8_t* seed);
// UNLOCK packets with the key; lastAnswer gets the last one's answer (untouched for an empty key).
uint32_t sendKey(const CommandSession& session, std::span<const uint8_t> key, Packet& lastAnswer);

}  // namespace qor::common::xcp
