// The commands on a controller's memory, shared by the exported functions and the flash path. Apart from
// checkTransfer, the caller has checked the port and the pointers.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::common {

// The handle first, then the buffer wherever there are bytes to move (a length of 0 moves nothing).
uint32_t checkTransfer(const kit::Call& call, uint32_t length, const void* bytes, const char* name);

uint32_t allocateRam(const kit::Call& call, uint32_t flags, uint32_t size, uint32_t* address);
uint32_t freeRam(const kit::Call& call, uint32_t address);
uint32_t writeMemory(const kit::Call& call, uint32_t address, uint8_t width, uint32_t length, const uint8_t* data);
// Sub 22: the firmware copies length bytes from the RAM address to offset of the flash bank.
uint32_t programFlash(const kit::Call& call, uint8_t bank, uint32_t offset, uint32_t ram, uint32_t length);

}  // namespace qor::common
