// The network settings that a device's firmware keeps (command 0x0C), with the values of a device that keeps none.
#include <arpa/inet.h>

#include <algorithm>
#include <span>

#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/byte_reader.hpp"
#include "qor_shared/firmware_records.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint32_t kSettingsQuery = 7;
constexpr uint32_t kGatewayQuery[2] = {10, 8};
constexpr uint32_t kAnswerCapacity = 1024;
constexpr size_t kAddressOffset = 4;
constexpr size_t kNetmaskOffset = 8;
constexpr size_t kTcpPortOffset = 20;
constexpr size_t kGatewayOffset = 8;

constexpr uint32_t kDefaultAddress = 0xC0A8013E; // 192.168.1.62
constexpr uint32_t kDefaultNetmask = 0xFFFFFF00; // 255.255.255.0
constexpr uint16_t kDefaultTcpPort = 5134;

uint32_t ask(uint32_t port, const void* parameters, uint32_t length, uint8_t* answer, uint32_t& size) {
  size = kAnswerCapacity;
  return Qor_CommandWithResponseEx(port, 0, qor::firmware::kControllerControlCommand, 1, parameters, length, answer, &size);
}

} // namespace

extern "C" uint32_t Qor_Interface_GetEthernetParameters(uint32_t port, EthernetDeviceRecord* parameters) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (parameters == nullptr) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  EthernetDeviceRecord settings{};
  uint8_t answer[kAnswerCapacity];
  uint32_t size = 0;
  if (uint32_t result = ask(port, &kSettingsQuery, sizeof kSettingsQuery, answer, size)) return result;
  const auto received = [&answer, &size] { return std::span<const uint8_t>(answer, std::min(size, kAnswerCapacity)); };
  const auto tcpPort = qor::readU16LE(received(), kTcpPortOffset);
  if (!tcpPort) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_COMMAND_LENGTH,
                                   "network settings of %u bytes, %zu expected", size,
                                   kTcpPortOffset + sizeof settings.tcpPort);
  }
  settings.address = *qor::readU32LE(received(), kAddressOffset);
  settings.netmask = *qor::readU32LE(received(), kNetmaskOffset);
  settings.tcpPort = *tcpPort;
  if (settings.address == 0) settings.address = htonl(kDefaultAddress);
  if (settings.netmask == 0) settings.netmask = htonl(kDefaultNetmask);
  if (settings.tcpPort == 0) settings.tcpPort = kDefaultTcpPort;
  // A firmware that does not tell its gateway has none.
  if (ask(port, kGatewayQuery, sizeof kGatewayQuery, answer, size) == 0) {
    settings.gateway = qor::readU32LE(received(), kGatewayOffset).value_or(0);
  }
  if (uint32_t result = Qor_GetPropertyById(port, QOR_PROPERTY_DEVICE_IDENTIFIER, &settings.serialNumber)) return result;
  settings.hostInterfaceType = Qor_GetHostInterfaceType(port);
  *parameters = settings;
  return 0;
} catch (...) {
  return failedCall(port);
}
