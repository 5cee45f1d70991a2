// Setting a channel's XCP link up: the caller's transport record becomes the firmware's record of sub-function 1.
#include "common_library.hpp"
#include "qor_common_xcp.h"
#include "xcp_channel.hpp"

namespace qor::common::xcp {
namespace {

enum Transport : uint32_t { kCan = 0, kFlexRay = 1, kEthernet = 2 };
enum EthernetKind : uint32_t { kUdp4 = 0, kUdp6 = 1, kTcp4 = 2, kTcp6 = 3 };

constexpr uint32_t kOptionFlag = 1;
constexpr uint8_t kLastHeaderType = 8;
constexpr uint8_t kLastPacketAlignment = 2;
constexpr uint8_t kFirmwarePacketTypeBits = 0x17;
constexpr size_t kCanRecordBytes = 24;
constexpr size_t kFlexRayHeadBytes = 28;
constexpr size_t kFlexRayPduBytes = 16;
constexpr size_t kEthernetRecordBytes = 64;
constexpr size_t kAddressBytes = 16;

// The record's first twelve bytes; the option bit is the caller's flag bit 0.
kit::RecordWriter transportRequest(uint8_t channel, Transport transport, uint32_t flags, size_t size) {
  kit::RecordWriter record = channelRequest(kInitialise, channel, size);
  record.u32(transport).u8(static_cast<uint8_t>(flags & kOptionFlag)).u8(0).u16(0);
  return record;
}

uint32_t send(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

template <class Record>
uint32_t checkCommon(const kit::Call& call, const Record* transport) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(transport, "transport")) return code;
  return call.checkFlags(transport->flags, kOptionFlag);
}

uint32_t initCan(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_CanTransport_t* transport) {
  if (uint32_t code = checkCommon(call, transport)) return code;
  kit::RecordWriter record = transportRequest(channel, kCan, transport->flags, kCanRecordBytes);
  record.u32(transport->firstWord).u32(transport->secondWord).u32(transport->thirdWord);
  return send(call, record);
}

uint32_t checkPdu(const kit::Call& call, const Qor_Common_Xcp_FlexRayPdu_t& pdu, unsigned index) {
  using kit::GeneralError;
  if (pdu.reserved6 != 0 || pdu.reserved8 != 0 || pdu.reserved12 != 0) {
    return call.fail(GeneralError::InvalidParameter, "reserved bytes have to be zero in pdu %u", index);
  }
  if ((pdu.packetType & ~QOR_COMMON_XCP_FLEXRAY_PACKET_TYPE_VALID) != 0) {
    return call.fail(GeneralError::InvalidParameter, "unknown packet type in pdu %u", index);
  }
  if (pdu.pduFlag > 1) return call.fail(GeneralError::UnknownFlag, "unknown pdu flag in pdu %u", index);
  return 0;
}

uint32_t checkFlexRay(const kit::Call& call, const Qor_Common_Xcp_FlexRayTransport_t& transport) {
  using kit::GeneralError;
  if (transport.reserved12 != 0 || transport.reserved16 != 0) {
    return call.fail(GeneralError::InvalidParameter, "reserved bytes have to be zero");
  }
  if (transport.headerType > kLastHeaderType) {
    return call.fail(GeneralError::InvalidParameter, "header type is unknown");
  }
  if (transport.packetAlignment > kLastPacketAlignment) {
    return call.fail(GeneralError::InvalidParameter, "packet alignment is unknown");
  }
  if (transport.pduCount > QOR_COMMON_XCP_MAX_FLEXRAY_PDUS) {
    return call.fail(GeneralError::InvalidParameter, "maximum number of pdus is %u", QOR_COMMON_XCP_MAX_FLEXRAY_PDUS);
  }
  for (unsigned index = 0; index < transport.pduCount; ++index) {
    if (uint32_t code = checkPdu(call, transport.pdus[index], index)) return code;
  }
  return 0;
}

uint32_t initFlexRay(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_FlexRayTransport_t* transport) {
  if (uint32_t code = checkCommon(call, transport)) return code;
  if (uint32_t code = checkFlexRay(call, *transport)) return code;
  const size_t size = kFlexRayHeadBytes + kFlexRayPduBytes * transport->pduCount;
  kit::RecordWriter record = transportRequest(channel, kFlexRay, transport->flags, size);
  record.u32(transport->firstWord)
      .u8(transport->byte)
      .u8(transport->headerType)
      .u8(transport->packetAlignment)
      .u8(transport->pduCount)
      .zeros(8);
  for (unsigned index = 0; index < transport->pduCount; ++index) {
    const Qor_Common_Xcp_FlexRayPdu_t& pdu = transport->pdus[index];
    record.u32(pdu.pduWord).u8(pdu.packetType & kFirmwarePacketTypeBits).u8(pdu.pduFlag).zeros(10);
  }
  return send(call, record);
}

template <class Record>
uint32_t initEthernet(const kit::Call& call, uint8_t channel, const Record* transport, EthernetKind kind) {
  if (uint32_t code = checkCommon(call, transport)) return code;
  constexpr size_t addressBytes = sizeof transport->firstAddress;
  static_assert(addressBytes <= kAddressBytes);
  kit::RecordWriter record = transportRequest(channel, kEthernet, transport->flags, kEthernetRecordBytes);
  record.u32(kind)
      .bytes(transport->firstAddress, addressBytes)
      .zeros(kAddressBytes - addressBytes)
      .bytes(transport->secondAddress, addressBytes)
      .zeros(kAddressBytes - addressBytes)
      .u16(transport->firstPort)
      .u16(transport->secondPort)
      .u32(transport->firstWord)
      .u32(transport->secondWord);
  if constexpr (requires { transport->tcpWord; }) {
    record.u32(transport->tcpWord);
  } else {
    record.u32(0);
  }
  return send(call, record);
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;
namespace xcp = qor::common::xcp;

uint32_t Qor_Common_Xcp_Init_Can(uint32_t port, uint8_t channel, const Qor_Common_Xcp_CanTransport_t* transport) try {
  return xcp::initCan(qor::kit::Call(kCommon, port), channel, transport);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Init_FlexRay(uint32_t port, uint8_t channel,
                                     const Qor_Common_Xcp_FlexRayTransport_t* transport) try {
  return xcp::initFlexRay(qor::kit::Call(kCommon, port), channel, transport);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Init_Ethernet_Udp4(uint32_t port, uint8_t channel,
                                           const Qor_Common_Xcp_Udp4Transport_t* transport) try {
  return xcp::initEthernet(qor::kit::Call(kCommon, port), channel, transport, xcp::kUdp4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Init_Ethernet_Udp6(uint32_t port, uint8_t channel,
                                           const Qor_Common_Xcp_Udp6Transport_t* transport) try {
  return xcp::initEthernet(qor::kit::Call(kCommon, port), channel, transport, xcp::kUdp6);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Init_Ethernet_Tcp4(uint32_t port, uint8_t channel,
                                           const Qor_Common_Xcp_Tcp4Transport_t* transport) try {
  return xcp::initEthernet(qor::kit::Call(kCommon, port), channel, transport, xcp::kTcp4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Xcp_Init_Ethernet_Tcp6(uint32_t port, uint8_t channel,
                                           const Qor_Common_Xcp_Tcp6Transport_t* transport) try {
  return xcp::initEthernet(qor::kit::Call(kCommon, port), channel, transport, xcp::kTcp6);
} catch (...) {
  return kCommon.failedCall(port);
}
