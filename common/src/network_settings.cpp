// The network settings that an Ethernet-attached device keeps as controller properties, and the host's adapters.
#include <cstring>

#include "common_library.hpp"
#include "controller_properties.hpp"
#include "qor_common_properties.h"

namespace qor::common {
namespace {

using kit::GeneralError;

constexpr uint8_t kDhcpOff = 0;
constexpr uint8_t kDhcpOn = 1;
constexpr uint8_t kFtpAutoStartOff = 0;
constexpr uint8_t kFtpAutoStartOn = 1;

// The caller's bytes as they lie in memory (records are little endian, as is the host).
std::span<const uint8_t> bytesOf(const void* value, size_t length) {
  return std::span(static_cast<const uint8_t*>(value), length);
}

uint32_t setSetting(uint32_t port, uint16_t id, const void* value, size_t length) {
  const kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  return setProperty(call, id, bytesOf(value, length));
}

// Reads property id into value: its first `length` bytes, which the answer must hold.
uint32_t readSetting(const kit::Call& call, uint16_t id, void* value, size_t length) {
  std::vector<uint8_t> answer;
  if (uint32_t code = readProperty(call, id, answer)) return code;
  const kit::AnswerReader reader(answer);
  const std::span<const uint8_t> received = reader.bytes(kPropertyValueOffset, length);
  if (!reader.complete()) return call.shortAnswer(reader);
  memcpy(value, received.data(), length);
  return 0;
}

uint32_t getSetting(uint32_t port, uint16_t id, void* value, size_t length) {
  const kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  return readSetting(call, id, value, length);
}

uint32_t setDhcpMode(uint32_t port, uint8_t mode) {
  const kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (mode != kDhcpOff && mode != kDhcpOn) {
    return call.fail(GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  }
  return setProperty(call, property::kDhcpMode, bytesOf(&mode, sizeof mode));
}

uint32_t getDhcpMode(uint32_t port, uint8_t* mode) {
  const kit::Call call(kCommon, port);
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(mode, "mode")) return code;
  uint8_t received = 0;
  if (uint32_t code = readSetting(call, property::kDhcpMode, &received, sizeof received)) return code;
  if (received != kDhcpOff && received != kDhcpOn) {
    // The text is kept as callers have always seen it.
    return call.fail(GeneralError::UnknownMode, "DHCP mode ''0x%04x' is unknown", received);
  }
  *mode = received;
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::getSetting;
using qor::common::kCommon;
using qor::common::setSetting;
namespace property = qor::common::property;

uint32_t Qor_Common_Ethernet_IpAddress_Set(uint32_t port, const uint32_t* address) try {
  return setSetting(port, property::kIpAddress, address, sizeof(uint32_t));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_IpAddress_Get(uint32_t port, uint32_t* address) try {
  return getSetting(port, property::kIpAddress, address, sizeof(uint32_t));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_DHCP_Mode_Set(uint32_t port, uint8_t mode) try {
  return qor::common::setDhcpMode(port, mode);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_DHCP_Mode_Get(uint32_t port, uint8_t* mode) try {
  return qor::common::getDhcpMode(port, mode);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_SubNetMask_Set(uint32_t port, const uint8_t mask[4]) try {
  return setSetting(port, property::kSubnetMask, mask, 4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_SubNetMask_Get(uint32_t port, uint8_t mask[4]) try {
  return getSetting(port, property::kSubnetMask, mask, 4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_TcpPort_Get(uint32_t port, uint16_t* tcpPort) try {
  return getSetting(port, property::kTcpPort, tcpPort, sizeof(uint16_t));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_DefaultGateway_Set(uint32_t port, const uint8_t gateway[4]) try {
  return setSetting(port, property::kDefaultGateway, gateway, 4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_DefaultGateway_Get(uint32_t port, uint8_t gateway[4]) try {
  return getSetting(port, property::kDefaultGateway, gateway, 4);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_Enable(uint32_t port) try {
  return setSetting(port, property::kFtpServerAutoStart, &qor::common::kFtpAutoStartOn, 1);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_Disable(uint32_t port) try {
  return setSetting(port, property::kFtpServerAutoStart, &qor::common::kFtpAutoStartOff, 1);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_GetState(uint32_t port, uint8_t* state) try {
  return getSetting(port, property::kFtpServerAutoStart, state, sizeof *state);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Ethernet_GetNetworkAdapterInfo(uint32_t* count, Qor_NetworkAdapter_t* adapters) try {
  return Qor_Ethernet_GetNetworkAdapterInfo(count, adapters);
} catch (...) {
  return kCommon.failedCall(QOR_NO_PORT);
}
