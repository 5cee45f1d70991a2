// Recording of error codes and texts for the process and for a port.
#pragma once

#include <cstdint>

#include "qor_client_state.h"

// Formats the text (an empty format gives an empty text) and stores code and text for the process and, with an
// entry, for its port. Returns the code.
uint32_t Qor_Client_ErrorHandler(Qor_PortInfo_t* entry, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

namespace qor::client {

// Stores a text that is already complete (from the firmware, the daemon or an exported reporter) unchanged.
uint32_t storeError(Qor_PortInfo_t* entry, uint32_t code, const char* text);

// The table's description, with the texts that the getters put in place of codes 0 and firmware codes.
const char* describeCode(uint32_t code);

} // namespace qor::client
