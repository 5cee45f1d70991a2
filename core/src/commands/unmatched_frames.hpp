// Where the answers go that no caller waits for: the rest-bus update entry, the error callback, the callback ring
// and the firmware buffer, by the port's settings.
#pragma once

#include "ports/port_context.hpp"
#include "qor_shared/protocol.hpp"

void routeUnmatchedFrame(Qor_PortInfo_t& entry, const qor::protocol::Frame& frame);

// Keeps a frame in the port's firmware buffer when that is enabled.
void Qor_Fw_Buffer_Write(Qor_PortContext& context, uint8_t command, uint8_t type, uint32_t length, const uint8_t* data);
