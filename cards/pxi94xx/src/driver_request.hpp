// The one place where a request record reaches the bridge driver. Tests without the driver put an emulated one in
// its place; the library itself always uses ioctl on the node.
#pragma once

#include <cstdint>

#include "PlxApi.h"

namespace qor::pxi94xx {

// Returns what ioctl returns: -1 (with errno) when the call failed.
using DriverRequestFunction = int (*)(int descriptor, unsigned long request, void* record);

int driverRequest(int descriptor, unsigned long request, void* record);
// Null restores ioctl.
void setDriverRequestFunction(DriverRequestFunction function);

// Sends request nr for the device and gives the driver's status word; a call that failed is
// PLX_STATUS_REQUEST_FAILED whatever the record says.
int requestStatus(PlxDeviceObject_t* device, uint8_t nr, PlxRequest_t* record);

}  // namespace qor::pxi94xx
