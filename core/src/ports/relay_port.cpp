// The port that switches the relays of a port's device: another controller or interface of the same device.
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

enum class RelayAt { Controller1, Interface9, Interface21, Nowhere };

bool within(uint32_t type, uint32_t first, uint32_t last) { return type >= first && type <= last; }

RelayAt relayOf(uint32_t type) {
  if (type == 6 || type == 7 || type == 13 || type == 14 || type == 36 || type == 37 || within(type, 64, 71)) {
    return RelayAt::Controller1;
  }
  if (type == 8 || type == 9 || within(type, 15, 17) || type == 28 || type == 52) return RelayAt::Interface9;
  if (within(type, 22, 27) || within(type, 29, 32) || type == 34 || within(type, 44, 51) || within(type, 59, 63) ||
      type == 72 || type == 75 || type == 77 || type == 85 || type == 86) {
    return RelayAt::Interface21;
  }
  return RelayAt::Nowhere;
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
