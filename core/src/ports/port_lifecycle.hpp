// Taking, connecting and closing ports.
#pragma once

#include <cstdint>

#include "qor_client_state.h"

// Takes a free slot and connects it to the daemon: 0 and the handle, or a code and handle 255.
uint32_t Qor_Client_OpenInterface(const Qor_InterfaceInfo_t* descriptor, uint32_t* port);

// Closes a port: stops its threads, tells the daemon and frees its state. 0 or the code of a failed step.
uint32_t Qor_Client_Close(Qor_PortInfo_t* entry);
