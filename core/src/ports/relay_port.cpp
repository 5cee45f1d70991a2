// The port that switches the relays of a port's device: another controller or interface of the same device.
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

using qor::RelayAt;

namespace {

RelayAt relayOf(uint32_t type) {
  const qor::HostType* host = qor::findHostType(type);
  return host != nullptr ? host->library.relay : RelayAt::Nowhere;
}

} // namespace

extern "C" uint32_t Qor_GetRelayPort(uint32_t port, uint32_t* relayPort, uint8_t* opened) try {
  Qor_InterfaceInfo_t relay{};
  {
    PortRef ref = checkedPort(port);
    if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
    if (relayPort == nullptr || opened == nullptr) {
      return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
    }
  }
  const uint32_t type = Qor_GetHostInterfaceType(port);
  if (uint32_t result = Qor_GetInterfaceInfo(port, &relay)) return result;
  const RelayAt at = relayOf(type);
  if (at == RelayAt::Nowhere) {
    return Qor_ErrorHandler(port, QOR_ERR_API_INVALID_DEVICE_TYPE, "relay switching not possible on selected hardware");
  }
  uint8_t& number = at == RelayAt::Controller1 ? relay.controllerNumber : relay.interfaceNumber;
  const uint8_t wanted = at == RelayAt::Controller1 ? 1 : at == RelayAt::Interface9 ? 9 : 21;
  *opened = 0;
  if (number == wanted) {
    *relayPort = port;
    return 0;
  }
  number = wanted;
  if (Qor_IsClientConnectedToHardware(&relay, relayPort)) return 0;
  // The caller closes a port opened here.
  if (uint32_t result = Qor_OpenInterface(&relay, relayPort)) return result;
  *opened = 1;
  return 0;
} catch (...) {
  return failedCall(port);
}
