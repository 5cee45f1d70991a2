#include "ports/port_table.hpp"

#include <cstring>

#include "startup/error_store.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

namespace qor::client {
namespace {

PortSlot gSlots[QOR_MAX_PORTS];

// Internet addresses are compared as stored text; both are bounded by the descriptor's 16 bytes.
bool sameAddressText(const Qor_InterfaceInfo_t& a, const Qor_InterfaceInfo_t& b) {
  return strncmp(a.ipAddress, b.ipAddress, sizeof a.ipAddress) == 0;
}

bool addressedByNetwork(uint32_t folded) {
  const HostType* host = findHostType(folded);
  return host != nullptr && host->daemon.identity == DeviceIdentity::Address;
}

} // namespace

PortSlot& portSlot(uint32_t port) { return gSlots[port]; }

PortRef PortRef::acquire(uint32_t port) {
  if (port >= QOR_MAX_PORTS) return PortRef();
  PortSlot& slot = gSlots[port];
  slot.users.fetch_add(1);
  if (slot.closing.load() || !portFlag(PortInfo[port], PortFlag::InUse) || portContext(PortInfo[port]) == nullptr) {
    slot.users.fetch_sub(1);
    return PortRef();
  }
  return PortRef(port);
}

PortRef::~PortRef() {
  if (port_ != QOR_NO_PORT) gSlots[port_].users.fetch_sub(1);
}

PortRef checkedPort(uint32_t port) {
  PortRef ref = PortRef::acquire(port);
  if (!ref) Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PORT_HANDLE, "port not initialized");
  return ref;
}

} // namespace qor::client

using namespace qor::client;

extern "C" {

uint32_t Qor_CheckPortHandle(uint32_t port) try {
  return checkedPort(port) ? 0 : QOR_ERR_API_INVALID_PORT_HANDLE;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_IsClientConnectedToHardware(const Qor_InterfaceInfo_t* info, uint32_t* port) try {
  if (info == nullptr || info->hostInterfaceType >= QOR_HOST_INTERFACE_TYPE_COUNT) return 0;
  // Both sides folded: a port opened under a variant's type is the same hardware as its folded model.
  const uint32_t folded = Qor_Internal_GetInternalHostInterfaceType(info->hostInterfaceType);
  for (uint32_t candidate = 0; candidate < QOR_MAX_PORTS; ++candidate) {
    PortRef ref = PortRef::acquire(candidate);
    if (!ref) continue;
    Qor_PortContext& context = ref.context();
    const Qor_InterfaceInfo_t stored = qor::underSection(context.general, [&] { return context.descriptor; });
    if (Qor_Internal_GetInternalHostInterfaceType(stored.hostInterfaceType) != folded) continue;
    if (stored.interfaceNumber != info->interfaceNumber || stored.controllerNumber != info->controllerNumber) continue;
    const bool same = addressedByNetwork(folded)
                          ? sameAddressText(stored, *info) &&
                                static_cast<uint16_t>(stored.deviceNumber) == static_cast<uint16_t>(info->deviceNumber)
                          : stored.deviceNumber == info->deviceNumber;
    if (same) {
      if (port != nullptr) *port = candidate;
      return 1;
    }
  }
  return 0;
} catch (...) {
  return failedCall(QOR_NO_PORT, 0u);
}

} // extern "C"
