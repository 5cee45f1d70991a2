// Opening a device by its first interface that exists: the models number their interfaces from 1, 20, 21 or 22.
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"

namespace {

constexpr uint32_t kLastInterfaceNumber = 22;
constexpr uint32_t kOpenFlags = 5; // no automatic configuration, no dedicated firmware

} // namespace

extern "C" uint32_t Qor_Interface_OpenFirstAvailableInterface(Qor_InterfaceInfo_t* info, uint32_t* port) try {
  if (info == nullptr || port == nullptr) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  *port = QOR_NO_PORT;
  const qor::HostType* host = qor::findHostType(info->hostInterfaceType);
  if (host == nullptr) {
    return Qor_ErrorHandler(QOR_NO_PORT, QOR_ERR_API_UNKNOWN_DEVICE_TYPE, "host interface type '0x%x' is unknown",
                            info->hostInterfaceType);
  }
  uint32_t result = 0;
  for (uint32_t number = host->library.firstInterfaceNumber; number <= kLastInterfaceNumber; ++number) {
    info->interfaceNumber = static_cast<uint8_t>(number);
    result = Qor_OpenInterface2(kOpenFlags, info, port);
    if (result != QOR_ERR_API_INVALID_INTERFACE) break;
  }
  return result;
} catch (...) {
  return qor::client::failedCall(QOR_NO_PORT);
}
