// The address and socket protocol types' firmware codes.
#include "ethernet_library.hpp"
#include "qor_ethernet_types.h"

namespace qor::ethernet {
namespace {

uint32_t translate(const kit::Call& call, uint32_t type, uint32_t highest, uint16_t unknownCode, const char* unknownText,
                   uint8_t* firmwareType) {
  if (uint32_t code = checkPointer(call, firmwareType, "firmwareType")) return code;
  if (type > highest) return call.fail(kEthernet.code(unknownCode), "%s", unknownText);
  *firmwareType = static_cast<uint8_t>(type);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(uint32_t port, Qor_Ethernet_IpAddressType_t type,
                                                              uint8_t* firmwareType) try {
  return translate(Call(kEthernet, port), type, QOR_ETHERNET_MAX_IP_ADDRESS_TYPE, kUnknownMode,
                   "ip address type is unknown", firmwareType);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(uint32_t port,
                                                                   Qor_Ethernet_SocketProtocolType_t type,
                                                                   uint8_t* firmwareType) try {
  return translate(Call(kEthernet, port), type, QOR_ETHERNET_MAX_SOCKET_PROTOCOL_TYPE, kUnknownProtocol,
                   "socket protocol type is unknown", firmwareType);
} catch (...) {
  return kEthernet.failedCall(port);
}
