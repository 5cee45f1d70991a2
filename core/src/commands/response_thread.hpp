// The per-port receiver of everything the daemon sends to the application.
#pragma once

#include "ports/port_context.hpp"

// Thread body; the argument is the port's entry. Started by the open as "ClientResponseThread".
void* Qor_Client_ResponseThread(void* argument);
