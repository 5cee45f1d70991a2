// A port's properties: its identity, read and set by property id or through their own getters.
#pragma once

#include <cstdint>

#include "qor_client_state.h"

// Identity setters used by the open, under the port's general section.
void Qor_Client_SetRealHostInterfaceType(Qor_PortInfo_t& entry, uint32_t type);
void Qor_Client_SetInterfaceType(Qor_PortInfo_t& entry, uint32_t type);
