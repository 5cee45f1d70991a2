#include "ports/port_properties.hpp"

#include "config_file/interface_config.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/error_store.hpp"
#include "startup/exported_call.hpp"

namespace {

uint32_t unknownProperty(Qor_PortInfo_t& entry, uint8_t id) {
  return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "property id '0x%02x' is unknown", id);
}

} // namespace

using namespace qor::client;

// Identity setters of the open, under the port's general section.
void Qor_Client_SetRealHostInterfaceType(Qor_PortInfo_t& entry, uint32_t type) {
  Qor_PortContext& context = *portContext(entry);
  qor::SectionLock general(context.general);
  context.realHostInterfaceType = type;
}

void Qor_Client_SetInterfaceType(Qor_PortInfo_t& entry, uint32_t type) {
  Qor_PortContext& context = *portContext(entry);
  qor::SectionLock general(context.general);
  context.interfaceType = type;
}

extern "C" {

uint32_t Qor_GetInterfaceType(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref ? ref.context().interfaceType : 0;
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_GetHostInterfaceType(uint32_t port) try {
  uint32_t type = QOR_HOST_INTERFACE_TYPE_UNKNOWN;
  return Qor_GetPropertyById(port, QOR_PROPERTY_REAL_HOST_INTERFACE_TYPE, &type) == 0 ? type : QOR_HOST_INTERFACE_TYPE_UNKNOWN;
} catch (...) {
  return failedCall(port, uint32_t{QOR_HOST_INTERFACE_TYPE_UNKNOWN});
}

uint32_t Qor_GetInterfaceHost(uint32_t port) try {
  uint32_t host = 0;
  return Qor_GetPropertyById(port, QOR_PROPERTY_INTERFACE_HOST, &host) == 0 ? host : 3;
} catch (...) {
  return failedCall(port, 3u);
}

uint32_t Qor_GetInterfaceInfo(uint32_t port, Qor_InterfaceInfo_t* info) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (info == nullptr) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  qor::SectionLock general(ref.context().general);
  *info = ref.context().descriptor;
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetParamSize(uint32_t port, uint32_t* size) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (size == nullptr) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  *size = ref.context().maxParameterLength;
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetLockStatus(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return 0;
  Qor_PortInfo_t& entry = ref.entry();
  return (portFlag(entry, PortFlag::ControllerLock) ? QOR_LOCK_CONTROLLER : 0) |
         (portFlag(entry, PortFlag::InterfaceLock) ? QOR_LOCK_INTERFACE : 0) |
         (portFlag(entry, PortFlag::MonitorLock) ? QOR_LOCK_MONITOR : 0);
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_SetResponseTimeout(uint32_t port, uint32_t milliseconds) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  ref.context().responseTimeoutMs.store(milliseconds);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetResponseTimeout(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref ? ref.context().responseTimeoutMs.load() : 0;
} catch (...) {
  return failedCall(port, 0u);
}

bool Qor_IsAsyncCommunicationEnabled(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref && portFlag(ref.entry(), PortFlag::AsyncEnabled);
} catch (...) {
  return failedCall(port, false);
}

uint32_t Qor_GetPropertyById(uint32_t port, Qor_PortPropertyId id, uint32_t* value) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  if (value == nullptr) return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  qor::SectionLock general(context.general);
  // The dedicated-firmware property reads the interface configuration file: not under the port's section.
  if (id == QOR_PROPERTY_USE_DEDICATED_FIRMWARE) {
    const uint32_t device = context.deviceIdentifier;
    general.unlock();
    return dedicatedFirmwareSetting(entry, device, *value);
  }
  switch (id) {
    case QOR_PROPERTY_DAEMON_MONITORS: *value = portFlag(entry, PortFlag::Property0) ? 1 : 0; return 0;
    case QOR_PROPERTY_INTERFACE_HOST: *value = context.interfaceHost; return 0;
    case QOR_PROPERTY_DEVICE_IDENTIFIER: *value = context.deviceIdentifier; return 0;
    case QOR_PROPERTY_PORT_INDEX: *value = context.portIndex; return 0;
    case QOR_PROPERTY_APPLICATION_INDEX: *value = context.applicationIndex; return 0;
    case QOR_PROPERTY_COMMUNICATION_TYPE: *value = context.hostCommunicationType; return 0;
    case QOR_PROPERTY_PARAMETER_WIDTH: *value = portFlag(entry, PortFlag::Parameters64Bit) ? 64 : 32; return 0;
    case QOR_PROPERTY_REAL_HOST_INTERFACE_TYPE: *value = context.realHostInterfaceType; return 0;
    case QOR_PROPERTY_INTERFACE_TYPE: *value = context.interfaceType; return 0;
    default: return unknownProperty(entry, id);
  }
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_SetPropertyById(uint32_t port, Qor_PortPropertyId id, uint32_t value) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  qor::SectionLock general(context.general);
  switch (id) {
    case QOR_PROPERTY_DAEMON_MONITORS: setPortFlag(entry, PortFlag::Property0, value != 0); return 0;
    case QOR_PROPERTY_OVERWRITE_HOST_INTERFACE_TYPE: context.descriptor.hostInterfaceType = value; return 0;
    default: return unknownProperty(entry, id);
  }
} catch (...) {
  return failedCall(port);
}

const char* Qor_GetHostInterfaceTypeDescription(uint32_t type) try {
  return Qor_Internal_GetHostInterfaceTypeDescription(type);
} catch (...) {
  return failedCall(QOR_NO_PORT, "");
}

} // extern "C"
