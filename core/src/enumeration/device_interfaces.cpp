#include "enumeration/device_interfaces.hpp"

#include "qor_shared/host_types.hpp"
#include "qor_shared/interface_identity.hpp"
#include "qor_api.h"
#include "qor_helpers.h"

namespace qor::client {
namespace {

constexpr uint8_t kNoIdentityParameters[8] = {};
constexpr uint32_t kIdentityCapacity = 32756;

class LibraryControllers final : public ControllerAccess {
 public:
  uint32_t open(Qor_InterfaceInfo_t& descriptor, uint32_t& port) override {
    return Qor_Interface_OpenFirstAvailableInterface(&descriptor, &port);
  }
  uint32_t interfaceHost(uint32_t port) override { return Qor_GetInterfaceHost(port); }
  uint32_t interfaceType(uint32_t port) override { return Qor_GetInterfaceType(port); }
  uint32_t hostInterfaceType(uint32_t port) override { return Qor_GetHostInterfaceType(port); }
  uint32_t identity(uint32_t port, FirmwareIdentity& identity) override {
    return queryIdentity(port, kNoIdentityParameters, sizeof kNoIdentityParameters, kIdentityCapacity, identity);
  }
  uint32_t close(uint32_t port) override { return Qor_CloseInterface(port); }
};

// The interface type a listed firmware entry stands for; 0 for none.
uint32_t listedType(uint32_t hostInterfaceType, uint8_t firmwareCode) {
  if (hostInterfaceType == kResistorsModel) return QOR_INTERFACE_RESISTORS;
  return Qor_Internal_TranslateInterfaceType_Fw2Api(firmwareCode);
}

} // namespace

ControllerAccess& libraryControllers() {
  static LibraryControllers controllers;
  return controllers;
}

uint32_t addDeviceInterfaces(ControllerAccess& access, const Qor_InterfaceData_t& device, uint32_t controllers,
                             size_t room, std::vector<Qor_InterfaceData_t>& list) {
  uint32_t result = 0;
  for (uint32_t controller = 1; controller <= controllers && controller <= UINT8_MAX; ++controller) {
    Qor_InterfaceData_t record = device;
    record.controllerNumber = static_cast<uint8_t>(controller);
    record.interfaceNumber = 1;
    Qor_InterfaceInfo_t descriptor = interfaceDescriptor(record);
    uint32_t port = QOR_NO_PORT;
    if (uint32_t opened = access.open(descriptor, port)) {
      if (opened == QOR_ERR_API_COULD_NOT_CONNECT) result = opened;
      continue;
    }
    std::vector<Qor_InterfaceData_t> found;
    if (access.interfaceHost(port) != QOR_INTERFACE_HOST_FIRMWARE) {
      record.interfaceType = static_cast<uint8_t>(access.interfaceType(port));
      found.push_back(record);
    } else {
      FirmwareIdentity identity;
      if (uint32_t failed = access.identity(port, identity)) {
        access.close(port);
        result = failed;
        continue;
      }
      record.hostInterfaceType = access.hostInterfaceType(port);
      for (const auto& [code, number] : identity.interfaces) {
        const uint32_t type = listedType(record.hostInterfaceType, code);
        if (type == 0) continue;
        record.interfaceType = static_cast<uint8_t>(type);
        record.interfaceNumber = number;
        found.push_back(record);
      }
    }
    if (list.size() + found.size() > room) {
      access.close(port);
      return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL,
                              "max number of interfaces (internal) = %zu", room);
    }
    list.insert(list.end(), found.begin(), found.end());
    if (uint32_t closed = access.close(port)) return closed;
  }
  return result;
}

} // namespace qor::client
