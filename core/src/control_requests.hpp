// The daemon's control requests that other parts of the library use.
#pragma once

#include <cstdint>

namespace qor::client {

// Message 0x19: flag bit 0 includes the USB devices, bit 1 is handed to the daemon's refresh. Flags above 3 give
// 0x2000209.
uint32_t refreshDriverInfo(uint32_t flags);

} // namespace qor::client
