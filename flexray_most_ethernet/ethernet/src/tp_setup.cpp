// Diagnostic transport channels set up for ISO 13400 and for DoSoAd: the kit's set-up head, the protocol's fields with
// their address and socket protocol types translated, 124 bytes.
#include <cstddef>

#include "ethernet_library.hpp"
#include "qor_ethernet_tp.h"
#include "qor_ethernet_types.h"
#include "qor_kit/transport_setup.hpp"

namespace qor::ethernet {
namespace {

constexpr size_t kRecordBytes = 124;
constexpr uint8_t kControlBytes = 2;  // set-up and channel
constexpr uint16_t kIso13400 = 1, kDoSoAd = 2;
constexpr uint8_t kRemoteIpv4 = 1, kRemoteIpv6 = 2;

uint32_t translateIpAddressType(const kit::Call& call, uint8_t type, uint8_t* firmwareType) {
  return Qor_Ethernet_Internal_Translate_IpAddressType_Api2Fw(call.port(), type, firmwareType);
}

uint32_t initIso13400(const kit::Call& call, uint8_t channel, const Qor_Ethernet_TpConfigIso13400_t* config) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkFlags(call, config->flags, QOR_ETHERNET_TP_ISO13400_FLAGS)) return code;
  const uint32_t reserved = config->reserved1 | config->reserved2 | config->reserved3[0] | config->reserved3[1] |
                            config->reserved3[2];
  if (uint32_t code = checkReserved(call, reserved)) return code;
  if (config->vehIdentReqMode > QOR_ETHERNET_TP_MAX_VEH_IDENT_REQ_MODE) {
    return call.fail(kEthernet.code(kUnknownMode), "'VehIdentReqMode '0x%02x' is unknown", config->vehIdentReqMode);
  }
  uint8_t ipAddressType1 = 0, ipAddressType2 = 0;
  if (uint32_t code = translateIpAddressType(call, config->ipAddressType1, &ipAddressType1)) return code;
  if (uint32_t code = translateIpAddressType(call, config->ipAddressType2, &ipAddressType2)) return code;
  kit::RecordWriter record =
      kit::transportSetupRecord(kRecordBytes, channel, kIso13400, static_cast<uint16_t>(config->flags));
  record.u8(config->value1).u8(config->value2).u8(config->vehIdentReqMode).u8(0);
  record.u16(config->value3).u16(config->value4).u16(config->value5).u16(config->value6).bytes(config->block1, 16);
  record.u32(config->value7).u32(config->value8).u32(config->value9);
  record.u8(config->value10).u8(config->value11).u8(ipAddressType1).u8(ipAddressType2);
  record.bytes(config->block2, 16).bytes(config->block3, 16).u32(config->value12).u32(config->value13);
  record.u16(config->value14).u16(0).bytes(config->block4, 16).u8(config->value15).zeros(3);
  record.u32((config->flags & QOR_ETHERNET_TP_ISO13400_VALUE16) != 0 ? config->value16 : 0);
  return kit::sendTransportSetup(call, kControlBytes, record);
}

uint32_t initDoSoAd(const kit::Call& call, uint8_t channel, const Qor_Ethernet_TpConfigDoSoAd_t* config) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkFlags(call, config->flags, QOR_ETHERNET_TP_DOSOAD_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, config->reserved)) return code;
  if (config->remoteIpAddressType != kRemoteIpv4 && config->remoteIpAddressType != kRemoteIpv6) {
    return call.fail(kEthernet.code(kInvalidParameter), "remote Ip address type must not be any");
  }
  uint8_t localType = 0, remoteType = 0, socketProtocolType = 0;
  if (uint32_t code = translateIpAddressType(call, config->localIpAddressType, &localType)) return code;
  if (uint32_t code = translateIpAddressType(call, config->remoteIpAddressType, &remoteType)) return code;
  if (uint32_t code = Qor_Ethernet_Internal_Translate_SocketProtocolType_Api2Fw(
          call.port(), config->socketProtocolType, &socketProtocolType)) {
    return code;
  }
  kit::RecordWriter record =
      kit::transportSetupRecord(kRecordBytes, channel, kDoSoAd, static_cast<uint16_t>(config->flags));
  record.u16(config->value1).u16(config->value2).u16(config->value3).u16(config->value4);
  record.u8(localType).u8(remoteType).u8(socketProtocolType).u8(0);
  record.bytes(config->block1, 16).bytes(config->block2, 16).u16(config->value5).u16(config->value6);
  record.u32(config->value7).u32(config->value8).u32(config->value9);
  return kit::sendTransportSetup(call, kControlBytes, record);
}

}  // namespace
}  // namespace qor::ethernet

using qor::ethernet::kEthernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Tp_Init_Iso13400(uint32_t port, uint8_t channel,
                                       const Qor_Ethernet_TpConfigIso13400_t* config) try {
  return qor::ethernet::initIso13400(Call(kEthernet, port), channel, config);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tp_Init_DoSoAd(uint32_t port, uint8_t channel, const Qor_Ethernet_TpConfigDoSoAd_t* config) try {
  return qor::ethernet::initDoSoAd(Call(kEthernet, port), channel, config);
} catch (...) {
  return kEthernet.failedCall(port);
}
