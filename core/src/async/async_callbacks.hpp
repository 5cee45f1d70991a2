// Asynchronous communication: the callback list, the ring to the callback thread, and that thread.
#pragma once

#include "ports/port_context.hpp"
#include "qor_shared/protocol.hpp"

// The newest entry for this command and type whose control bytes begin data (of length bytes); under the general
// section.
CallbackEntryPtr Qor_AsyncCommunication_GetCallbackListEntry(Qor_PortContext& context, uint8_t command, uint8_t type,
                                                             const uint8_t* data, size_t length);

namespace qor::client {

// Puts a frame into the ring for entry's callback (response thread). False when the ring is full or the frame's
// data do not fit a slot: then the frame is dropped.
bool queueForCallback(Qor_PortInfo_t& entry, const CallbackEntryPtr& callback, const protocol::Frame& frame);

// At close, after the traffic: removes every entry (calling release functions) and disables asynchronous
// communication.
Teardown asyncCommunicationTeardown();

// Points the callback event into its pair: 0, or 0x2000103 when the pair could not be made.
uint32_t createCallbackEvent(Qor_PortContext& context);

} // namespace qor::client
