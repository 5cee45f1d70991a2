// The daemon's control requests that other parts of the library use.
#pragma once

#include <cstdint>

#include "qor_network_adapters.h"

namespace qor::client {

// Message 0x17 for host type 18: the devices that answer discovery behind these adapters (at most 32). *size:
// room in, bytes of data out.
uint32_t ethernetDriverInfo(uint32_t adapterCount, const Qor_NetworkAdapter_t* adapters, void* buffer,
                            uint32_t* size);

// Message 0x17 for host type 32: the USB devices behind the USB-over-Ethernet adapter at target (network byte
// order). *size as above.
uint32_t usbOverEthernetDriverInfo(uint32_t target, void* buffer, uint32_t* size);

// Message 0x19: flag bit 0 includes the USB devices, bit 1 is handed to the daemon's refresh. Flags above 3 give
// 0x2000209.
uint32_t refreshDriverInfo(uint32_t flags);

} // namespace qor::client
