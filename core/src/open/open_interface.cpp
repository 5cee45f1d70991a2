// Opening an interface: connect a port, identify its controller through the firmware, reopen it under the type
// the firmware reports.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "startup/error_store.hpp"
#include "open/firmware_identity.hpp"
#include "config_file/interface_config.hpp"
#include "lvds/lvds_frame_data.hpp"
#include "ports/port_lifecycle.hpp"
#include "ports/port_properties.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint8_t kLeaveBootLoaderCommand = 0x10;
constexpr uint8_t kStartFirmwareCommand = 0x03;
constexpr uint32_t kIdentityCapacity = 16378;
constexpr uint32_t kFirmwareBusy = 20;
constexpr uint32_t kBootLoaderTimeoutMs = 5000;
constexpr uint32_t kOpenFlagsValid = 7;

enum OpenFlags : uint32_t { kSkipConfiguration = 1, kSkipBootLoaderStart = 2, kSkipDedicatedFirmware = 4 };

uint32_t askIdentity(uint32_t port, FirmwareIdentity& identity) {
  uint32_t parameters[2] = {0, 5};
  uint32_t result = queryIdentity(port, parameters, sizeof parameters, kIdentityCapacity, identity);
  if (result == kFirmwareBusy) {
    storeError(&PortInfo[port], 0, "");
    parameters[1] = 1;
    result = queryIdentity(port, parameters, sizeof parameters, kIdentityCapacity, identity);
  }
  return result;
}

// Leaves the boot loader: 0x10 with a long time-out, then 0x03, then the identity once more. A failing 0x10 is
// reported through *leaveResult and does not fail the open.
uint32_t startFirmware(uint32_t port, FirmwareIdentity& identity, uint32_t& leaveResult) {
  const uint32_t timeout = Qor_GetResponseTimeout(port);
  Qor_SetResponseTimeout(port, kBootLoaderTimeoutMs);
  leaveResult = Qor_Command(port, kLeaveBootLoaderCommand, nullptr, 0);
  Qor_SetResponseTimeout(port, timeout);
  if (uint32_t result = Qor_Command(port, kStartFirmwareCommand, nullptr, 0)) return result;
  return askIdentity(port, identity);
}

uint32_t checkDescriptorFlags(const Qor_InterfaceInfo_t& info, uint32_t* port) {
  if (info.flags & ~QOR_INTERFACE_FLAGS_VALID) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_UNKNOWN_FLAG, "interface info flag value '0x%04x' is unknown",
                                   info.flags);
  }
  if ((info.flags & QOR_INTERFACE_FLAG_ETHERNET) && (info.deviceNumber >> 16) != 0) {
    *port = QOR_NO_PORT;
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid reserved byte value");
  }
  return 0;
}

// Asks an LVDS controller whether it grabs or generates frames: command 0x21 {u8 4, three zero bytes, u32 part},
// answered with a non-zero word at 8 when the part is there.
uint32_t askLvdsPart(uint32_t port, uint32_t part, bool& present) {
  constexpr uint8_t kLvdsControllerCommand = 0x21;
  constexpr size_t kLvdsPartPresentOffset = 8;
  uint8_t parameters[8] = {4};
  memcpy(parameters + 4, &part, sizeof part);
  std::vector<uint8_t> answer(kIdentityCapacity);
  uint32_t size = kIdentityCapacity;
  const uint32_t result = Qor_CommandWithResponseEx(port, 0, kLvdsControllerCommand, 1, parameters, sizeof parameters,
                                                    answer.data(), &size);
  answer.resize(result == 0 ? size : 0);
  present = qor::readU32LE(answer, kLvdsPartPresentOffset).value_or(0) != 0;
  return result;
}

// A controller that cannot tell is taken for a grabber, which then collects its frames from the start.
void markLvdsParts(uint32_t port) {
  constexpr uint32_t kGrabber = 1;
  constexpr uint32_t kGenerator = 0;
  bool present = false;
  if (askLvdsPart(port, kGrabber, present) != 0 || present) {
    markFrameGrabber(port);
    Qor_InterfaceConfig_Lvds_FrameGrabber2_SetMode(port, 1);
  }
  if (askLvdsPart(port, kGenerator, present) == 0 && present) markFrameGenerator(port);
}

uint32_t closeAndFail(uint32_t& port, uint32_t code) {
  Qor_CloseInterface(port);
  port = QOR_NO_PORT;
  return code;
}

// Connects and identifies. A controller that reports another model is reopened under it, once.
uint32_t Qor_GetPortHandle(const Qor_InterfaceInfo_t* descriptor, uint32_t* port, bool start, bool mayReopen) {
  uint32_t handle = QOR_NO_PORT;
  if (uint32_t result = Qor_Client_OpenInterface(descriptor, &handle)) {
    *port = QOR_NO_PORT;
    return result;
  }
  Qor_PortInfo_t& entry = PortInfo[handle];
  uint32_t realType = descriptor->hostInterfaceType;
  uint32_t interfaceType = 0;
  uint32_t leaveResult = 0;
  if (Qor_GetInterfaceHost(handle) != QOR_INTERFACE_HOST_FIRMWARE) {
    interfaceType = Qor_Interface_InterfaceType_NoFirmware(descriptor);
  } else {
    FirmwareIdentity identity;
    if (uint32_t result = askIdentity(handle, identity)) return closeAndFail(*port = handle, result);
    if (start && identity.bootLoaderRunning) {
      if (uint32_t result = startFirmware(handle, identity, leaveResult)) return closeAndFail(*port = handle, result);
    }
    realType = Qor_Internal_TranslateHostInterfaceType_Fw2Api(identity.deviceCode);
    // A code that names no model (the USB7140 has none) keeps the caller's: no path opens the unknown type.
    if (realType == QOR_HOST_INTERFACE_TYPE_UNKNOWN) realType = descriptor->hostInterfaceType;
    if (realType != descriptor->hostInterfaceType && descriptor->hostInterfaceType != qor::kTypeKeptAtOpen && mayReopen) {
      Qor_CloseInterface(handle);
      Qor_InterfaceInfo_t reopened = *descriptor;
      reopened.hostInterfaceType = realType;
      if (descriptor->hostInterfaceType == qor::kEthernetHostType) reopened.flags |= QOR_INTERFACE_FLAG_ETHERNET;
      *port = QOR_NO_PORT;
      if (uint32_t result = checkDescriptorFlags(reopened, port)) return result;
      if (uint32_t result = Qor_GetPortHandle(&reopened, port, start, false)) return result;
      Qor_SetPropertyById(*port, QOR_PROPERTY_OVERWRITE_HOST_INTERFACE_TYPE, descriptor->hostInterfaceType);
      return 0;
    }
    if (descriptor->hostInterfaceType == qor::kTypeKeptAtOpen && identity.interfaces.empty()) interfaceType = QOR_INTERFACE_UNKNOWN;
    uint8_t firmwareCode = 0;
    for (auto [code, number] : identity.interfaces) {
      if (number == descriptor->interfaceNumber) {
        firmwareCode = code;
        break;
      }
    }
    if (interfaceType == 0) interfaceType = Qor_Internal_TranslateInterfaceType_Fw2Api(firmwareCode);
    if (interfaceType == 0) interfaceType = QOR_INTERFACE_UNKNOWN;
    if (descriptor->hostInterfaceType == qor::kResistorsModel && interfaceType == QOR_INTERFACE_IO) {
      interfaceType = QOR_INTERFACE_RESISTORS;
    }
  }
  Qor_Client_SetRealHostInterfaceType(entry, realType);
  Qor_Client_SetInterfaceType(entry, interfaceType);
  *port = handle;
  if (leaveResult != 0) return 0;
  const qor::HostType* host = qor::findHostType(descriptor->hostInterfaceType);
  if (host != nullptr && host->library.probesLvdsParts && interfaceType == QOR_INTERFACE_LVDS) markLvdsParts(handle);
  if (descriptor->hostInterfaceType == qor::kStartedAtOpen) {
    if (uint32_t result = Qor_Command(handle, kStartFirmwareCommand, nullptr, 0)) return closeAndFail(*port, result);
  }
  if (interfaceType == QOR_INTERFACE_RESTBUS) setPortFlag(entry, PortFlag::RestBusUpdateRouting, true);
  return 0;
}

// Whether the device is marked for its dedicated firmware. Without a readable configuration file nothing is marked,
// and nothing is recorded for a successful open.
bool marksDedicatedFirmware(uint32_t port) {
  const std::optional<std::string> path = configuredFilePath();
  bool readable = false;
  if (!path || probeFile(nullptr, *path, readable) != 0 || !readable) return false;
  uint32_t dedicated = 0;
  return Qor_GetPropertyById(port, QOR_PROPERTY_USE_DEDICATED_FIRMWARE, &dedicated) == 0 && dedicated != 0;
}

uint32_t openAndConfigure(uint32_t flags, const Qor_InterfaceInfo_t* descriptor, uint32_t* port) {
  if (descriptor->flags != 0) {
    if (uint32_t result = checkDescriptorFlags(*descriptor, port)) return result;
  }
  if (uint32_t result = Qor_GetPortHandle(descriptor, port, !(flags & kSkipBootLoaderStart), true)) return result;
  if (!(flags & kSkipConfiguration)) {
    const uint32_t result = Qor_InterfaceConfig_Apply(*port);
    if (result != 0 && result != QOR_ERR_API_FILE_NOT_FOUND) return closeAndFail(*port, result);
  }
  if (flags & kSkipDedicatedFirmware) return 0;
  // The update's result is not the open's: its code stays the last error.
  if (marksDedicatedFirmware(*port)) Qor_UpdateToDedicatedFirmware(*port);
  return 0;
}

uint32_t openWithFlags(uint32_t flags, const Qor_InterfaceInfo_t* descriptor, uint32_t* port) {
  if (uint32_t result = openAndConfigure(flags, descriptor, port)) return result;
  if (uint32_t result = Qor_Client_FinishOpen(*port)) {
    *port = QOR_NO_PORT;
    return result;
  }
  return 0;
}

} // namespace

extern "C" {

uint32_t Qor_OpenInterface(const Qor_InterfaceInfo_t* descriptor, uint32_t* port) try {
  if (descriptor == nullptr || port == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  return openWithFlags(0, descriptor, port);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

uint32_t Qor_OpenInterface2(uint32_t flags, const Qor_InterfaceInfo_t* descriptor, uint32_t* port) try {
  if (descriptor == nullptr || port == nullptr) {
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  *port = QOR_NO_PORT;
  if (flags > kOpenFlagsValid) return storeError(nullptr, QOR_ERR_API_UNKNOWN_FLAG, "");
  return openWithFlags(flags, descriptor, port);
} catch (...) {
  return failedCall(QOR_NO_PORT);
}

} // extern "C"
