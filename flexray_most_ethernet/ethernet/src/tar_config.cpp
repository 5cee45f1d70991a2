// A TAR instance's socket (configure, sub-function 0): UDP or TCP over IPv4 or IPv6, or none.
#include "ethernet_library.hpp"
#include "qor_ethernet_tar.h"
#include "tar_command.hpp"

namespace qor::ethernet {
namespace {

enum SocketKind : uint8_t { kOff = 0, kUdp4 = 1, kTcp4 = 2, kUdp6 = 3, kTcp6 = 4 };

constexpr size_t kIpv4RecordBytes = 24;
constexpr size_t kIpv6RecordBytes = 52;
constexpr size_t kOffRecordBytes = 8;

template <class Config>
uint32_t checkConfig(const kit::Call& call, const Config* config, uint32_t allowedFlags) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkFlags(call, config->flags, allowedFlags)) return code;
  return checkReserved(call, config->reserved);
}

kit::RecordWriter head(size_t bytes, uint8_t instance, SocketKind kind, uint32_t flags) {
  kit::RecordWriter record(bytes);
  record.u32(kTarConfigure).u8(instance).u8(kind).u16(0).u8(static_cast<uint8_t>(flags)).zeros(3);
  return record;
}

uint32_t configure4(const kit::Call& call, const Qor_Ethernet_Tar_Config4_t* config, SocketKind kind,
                    uint32_t allowedFlags) {
  if (uint32_t code = checkConfig(call, config, allowedFlags)) return code;
  kit::RecordWriter record = head(kIpv4RecordBytes, config->instance, kind, config->flags);
  record.bytes(config->address1, sizeof config->address1).bytes(config->address2, sizeof config->address2);
  record.u16(config->port1).u16(config->port2);
  return exchangeTar(call, record);
}

uint32_t configure6(const kit::Call& call, const Qor_Ethernet_Tar_Config6_t* config, SocketKind kind,
                    uint32_t allowedFlags) {
  if (uint32_t code = checkConfig(call, config, allowedFlags)) return code;
  kit::RecordWriter record = head(kIpv6RecordBytes, config->instance, kind, config->flags);
  record.bytes(config->address1, sizeof config->address1).bytes(config->address2, sizeof config->address2);
  record.u16(config->port1).u16(config->port2).u32(config->value);
  return exchangeTar(call, record);
}

uint32_t switchOff(const kit::Call& call, const Qor_Ethernet_Tar_ConfigOff_t* config) {
  if (uint32_t code = checkConfig(call, config, 0)) return code;
  kit::RecordWriter record(kOffRecordBytes);
  record.u32(kTarConfigure).u8(config->instance).u8(kOff).u16(0);
  return exchangeTar(call, record);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Tar_Config_Udp4(uint32_t port, const Qor_Ethernet_Tar_Config4_t* config) try {
  return configure4(Call(kEthernet, port), config, kUdp4, QOR_ETHERNET_TAR_UDP4_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_Config_Tcp4(uint32_t port, const Qor_Ethernet_Tar_Config4_t* config) try {
  return configure4(Call(kEthernet, port), config, kTcp4, QOR_ETHERNET_TAR_TCP4_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_Config_Udp6(uint32_t port, const Qor_Ethernet_Tar_Config6_t* config) try {
  return configure6(Call(kEthernet, port), config, kUdp6, QOR_ETHERNET_TAR_UDP6_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_Config_Tcp6(uint32_t port, const Qor_Ethernet_Tar_Config6_t* config) try {
  return configure6(Call(kEthernet, port), config, kTcp6, QOR_ETHERNET_TAR_TCP6_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_Config_Off(uint32_t port, const Qor_Ethernet_Tar_ConfigOff_t* config) try {
  return switchOff(Call(kEthernet, port), config);
} catch (...) {
  return kEthernet.failedCall(port);
}
