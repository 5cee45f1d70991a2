// Taking, connecting and closing ports.
#pragma once

#include <cstdint>

#include "qor_client_state.h"

// Takes a free slot and connects it to the daemon: 0 and the handle, or a code and handle 255. The port's open
// runs until Qor_Client_FinishOpen.
uint32_t Qor_Client_OpenInterface(const Qor_InterfaceInfo_t* descriptor, uint32_t* port);

// Ends the open of a port that the exported open set up: 0, or, when a signal's clean-up came during the open, the
// port is closed and 0x2000100 recorded and returned.
uint32_t Qor_Client_FinishOpen(uint32_t port);

// Closes a port: stops its threads, tells the daemon and frees its state. 0 or the code of a failed step.
uint32_t Qor_Client_Close(Qor_PortInfo_t* entry);

// The clean-up's close (at a signal or unload): a port whose open still runs is left to that open, which closes it
// when it ends.
void Qor_Client_CloseUnlessOpening(Qor_PortInfo_t* entry);
