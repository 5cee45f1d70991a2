// Where the library meets the Vortaq driver: the root of the driver's /proc entries and the control requests. The
// library itself always uses "/proc/" and ioctl; tests put a tree of plain files and an emulated card in their place.
#pragma once

#include <cstdint>
#include <string>

namespace qor::pxi95xx {

// Returns what ioctl returns: -1 (with errno) when the call failed.
using RequestFunction = int (*)(int descriptor, unsigned long request, void* record);

// Null arguments restore "/proc/" and ioctl.
void useDriver(const char* procRoot, RequestFunction request);

const std::string& procRoot();
// 0, or the call's errno (EIO when a failed call left errno at 0).
int32_t driverRequest(int descriptor, unsigned long request, void* record);

// Moves exactly length bytes between data and card memory at address through a channel file: 0, or errno (EIO
// for a short or empty transfer, which the driver reports when the engine failed).
int32_t readCard(int file, uint32_t address, void* data, uint32_t length);
int32_t writeCard(int file, uint32_t address, const void* data, uint32_t length);

// errno of a failed call, never 0.
int32_t failureCode();

}  // namespace qor::pxi95xx
