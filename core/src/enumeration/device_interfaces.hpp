// The interfaces of one connected device: each controller is opened once and tells its interfaces.
#pragma once

#include <cstdint>
#include <vector>

#include "open/firmware_identity.hpp"
#include "qor_interface_list.h"

namespace qor::client {

// What the listing does with a controller: the library's ports, or a test's stand-in.
class ControllerAccess {
 public:
  virtual ~ControllerAccess() = default;
  // Opens the first available interface of the controller that the descriptor names.
  virtual uint32_t open(Qor_InterfaceInfo_t& descriptor, uint32_t& port) = 0;
  virtual uint32_t interfaceHost(uint32_t port) = 0;
  virtual uint32_t interfaceType(uint32_t port) = 0;
  virtual uint32_t hostInterfaceType(uint32_t port) = 0;
  virtual uint32_t identity(uint32_t port, FirmwareIdentity& identity) = 0;
  virtual uint32_t close(uint32_t port) = 0;
};

// The ports of this process, opened without automatic configuration or dedicated firmware.
ControllerAccess& libraryControllers();

// Adds one record per interface of controllers 1 to `controllers` of the device, each a copy of `device` with its
// interface type, controller and interface numbers (and the host type that the controller reports), while `list`
// holds fewer than room. Controllers that cannot be opened are left out: only an unreachable daemon (0x2000100)
// becomes the result, as does a controller that fails to tell its interfaces. A failed close, and an interface
// beyond room (0x2000201), end the device with that code.
uint32_t addDeviceInterfaces(ControllerAccess& access, const Qor_InterfaceData_t& device, uint32_t controllers,
                             size_t room, std::vector<Qor_InterfaceData_t>& list);

} // namespace qor::client
