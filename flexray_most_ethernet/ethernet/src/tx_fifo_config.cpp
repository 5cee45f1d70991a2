// Configuring a transmit FIFO: the caller's record of each kind becomes the firmware flag, the options byte and the
// kind's protocol data. Optional fields travel only with their flag bit; bytes the caller gives no value for are 0.
#include <array>
#include <span>

#include "ethernet_library.hpp"
#include "qor_ethernet_tx_fifo.h"
#include "tx_fifo_command.hpp"

namespace qor::ethernet {
namespace {

constexpr uint32_t kFirmwareFlag = 0x01;
constexpr size_t kConfigureHeadBytes = 20;
constexpr size_t kConfigureAnswerBytes = 10;
constexpr Ethernet_Param_TxFifo_Type_t kHighestType = Ethernet_TxFifo_Type_Tcp4;
constexpr uint32_t kUdp6ReservedByteFlags = 0x38;  // bits 3 to 5
constexpr uint32_t kUdp4ReservedByteFlags = 0x1C;  // bits 2 to 4

// For options bits 0 to 4, the caller's flag bit that sets it; 0 for none.
using OptionBits = std::array<uint8_t, 5>;
constexpr OptionBits kIcmp6Options{1, 2, 0, 0, 0};
constexpr OptionBits kUdp6Options{1, 3, 2, 4, 5};
constexpr OptionBits kTcp6Options{1, 2, 3, 0, 0};
constexpr OptionBits kUdp4Options{1, 2, 3, 4, 0};
constexpr OptionBits kTcp4Options{1, 2, 0, 0, 0};

uint8_t optionsOf(uint32_t flags, const OptionBits& bits) {
  uint8_t options = 0;
  for (size_t option = 0; option < bits.size(); ++option) {
    if (bits[option] != 0 && (flags >> bits[option] & 1u) != 0) options |= static_cast<uint8_t>(1u << option);
  }
  return options;
}

bool has(uint32_t flags, uint32_t bits) { return (flags & bits) != 0; }

// The protocol data start with the options byte and three zeros.
kit::RecordWriter protocolHead(size_t bytes, uint32_t flags, const OptionBits& bits) {
  kit::RecordWriter data(bytes);
  data.u8(optionsOf(flags, bits)).zeros(3);
  return data;
}

template <class Value>
void optionalField(kit::RecordWriter& data, bool present, const Value& value) {
  if (present) {
    data.bytes(&value, sizeof value);
  } else {
    data.zeros(sizeof value);
  }
}

uint32_t checkHead(const kit::Call& call, const Qor_Ethernet_TxFifo_ConfigHead_t& head, uint32_t allowed) {
  if (uint32_t code = checkFlags(call, head.flags, allowed)) return code;
  return checkReserved(call, head.reserved);
}

uint32_t configure(const kit::Call& call, uint32_t flag, uint32_t firstValue, uint32_t secondValue,
                   uint16_t thirdValue, uint32_t type, std::span<const uint8_t> protocolData, uint32_t& fifoId,
                   uint16_t& secondValueOut) {
  if (type > kHighestType) return call.fail(kEthernet.code(kInvalidParameter), "unknown FIFO type %u", type);
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (kConfigureHeadBytes + protocolData.size() > parameterLength) {
    return call.fail(kEthernet.code(kInvalidParameter), "%zu bytes of protocol data exceed the parameter length %u",
                     protocolData.size(), parameterLength);
  }
  kit::RecordWriter record(parameterLength);
  record.u32(kTxFifoConfigure).u32(flag).u32(firstValue).u32(secondValue).u16(thirdValue);
  record.u8(static_cast<uint8_t>(type)).u8(0).bytes(protocolData);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTxFifo(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kConfigureAnswerBytes)) return code;
  fifoId = reader.u32(4);
  secondValueOut = reader.u16(8);
  return 0;
}

uint32_t configureKind(const kit::Call& call, const Qor_Ethernet_TxFifo_ConfigHead_t& head,
                       Ethernet_Param_TxFifo_Type_t type, const kit::RecordWriter& protocolData,
                       Qor_Ethernet_TxFifo_ConfigResult_t* result) {
  result->reserved = 0;
  uint32_t fifoId = 0;
  uint16_t secondValue = 0;
  if (uint32_t code = configure(call, head.flags & kFirmwareFlag, head.firstValue, head.secondValue, head.thirdValue,
                                type, protocolData.view(), fifoId, secondValue)) {
    return code;
  }
  result->fifoId = fifoId;
  result->secondValue = secondValue;
  return 0;
}

template <class Config>
uint32_t checkCall(const kit::Call& call, const Config* config, const Qor_Ethernet_TxFifo_ConfigResult_t* result) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  return checkPointer(call, result, "result");
}

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Raw_t&) { return kit::RecordWriter(0); }

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Icmp6_t& config) {
  const uint32_t flags = config.head.flags;
  kit::RecordWriter data = protocolHead(40, flags, kIcmp6Options);
  data.bytes(config.address1, sizeof config.address1).bytes(config.address2, sizeof config.address2);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_VALUE32), config.value32);
  return data;
}

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Udp6_t& config) {
  const uint32_t flags = config.head.flags;
  kit::RecordWriter data = protocolHead(64, flags, kUdp6Options);
  data.bytes(config.address1, sizeof config.address1).bytes(config.address2, sizeof config.address2);
  data.u16(config.port1).u16(config.port2);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_VALUE32), config.value32);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_VALUE8), config.value8);
  data.u8(0);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_BLOCK), config.value16);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_BLOCK), config.block);
  return data;
}

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Tcp6_t& config) {
  const uint32_t flags = config.head.flags;
  kit::RecordWriter data = protocolHead(44, flags, kTcp6Options);
  data.bytes(config.address1, sizeof config.address1).bytes(config.address2, sizeof config.address2);
  data.u16(config.port1).u16(config.port2);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_VALUE32), config.value32);
  return data;
}

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Udp4_t& config) {
  const uint32_t flags = config.head.flags;
  kit::RecordWriter data = protocolHead(20, flags, kUdp4Options);
  data.bytes(config.address1, sizeof config.address1).bytes(config.address2, sizeof config.address2);
  data.u16(config.port1).u16(config.port2);
  optionalField(data, has(flags, QOR_ETHERNET_TX_FIFO_FLAG_VALUE8), config.value8);
  data.zeros(3);
  return data;
}

kit::RecordWriter protocolData(const Qor_Ethernet_TxFifo_Config_Tcp4_t& config) {
  kit::RecordWriter data = protocolHead(20, config.head.flags, kTcp4Options);
  data.bytes(config.address1, sizeof config.address1).bytes(config.address2, sizeof config.address2);
  data.u16(config.port1).u16(config.port2).u32(0);
  return data;
}

// The UDP kinds' reserved byte after the u8 value counts once one of these flag bits is set; the others have none.
template <class Config>
uint32_t checkKind(const kit::Call&, const Config&) {
  return 0;
}
uint32_t checkKind(const kit::Call& call, const Qor_Ethernet_TxFifo_Config_Udp6_t& config) {
  return has(config.head.flags, kUdp6ReservedByteFlags) ? checkReserved(call, config.reserved) : 0;
}
uint32_t checkKind(const kit::Call& call, const Qor_Ethernet_TxFifo_Config_Udp4_t& config) {
  return has(config.head.flags, kUdp4ReservedByteFlags) ? checkReserved(call, config.reserved) : 0;
}

template <class Config>
uint32_t configureFifo(const kit::Call& call, const Config* config, Qor_Ethernet_TxFifo_ConfigResult_t* result,
                       Ethernet_Param_TxFifo_Type_t type, uint32_t allowedFlags) {
  if (uint32_t code = checkCall(call, config, result)) return code;
  if (uint32_t code = checkHead(call, config->head, allowedFlags)) return code;
  if (uint32_t code = checkKind(call, *config)) return code;
  return configureKind(call, config->head, type, protocolData(*config), result);
}

uint32_t configureGeneral(const kit::Call& call, uint32_t flag, uint32_t firstValue, uint32_t secondValue,
                          uint16_t thirdValue, Ethernet_Param_TxFifo_Type_t type, uint32_t protocolLength,
                          const uint8_t* protocolData, uint32_t* fifoId, uint16_t* secondValueOut) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (protocolLength != 0) {
    if (uint32_t code = checkPointer(call, protocolData, "protocolData")) return code;
  }
  if (uint32_t code = checkPointer(call, fifoId, "fifoId")) return code;
  if (uint32_t code = checkPointer(call, secondValueOut, "secondValue")) return code;
  return configure(call, flag, firstValue, secondValue, thirdValue, type, std::span(protocolData, protocolLength),
                   *fifoId, *secondValueOut);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_TxFifo_Config_Raw(uint32_t port, const Qor_Ethernet_TxFifo_Config_Raw_t* config,
                                        Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Raw, QOR_ETHERNET_TX_FIFO_RAW_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config_Icmp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Icmp6_t* config,
                                          Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Icmp6,
                       QOR_ETHERNET_TX_FIFO_ICMP6_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config_Udp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Udp6_t* config,
                                         Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Udp6,
                       QOR_ETHERNET_TX_FIFO_UDP6_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config_Tcp6(uint32_t port, const Qor_Ethernet_TxFifo_Config_Tcp6_t* config,
                                         Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Tcp6,
                       QOR_ETHERNET_TX_FIFO_TCP6_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config_Udp4(uint32_t port, const Qor_Ethernet_TxFifo_Config_Udp4_t* config,
                                         Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Udp4,
                       QOR_ETHERNET_TX_FIFO_UDP4_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config_Tcp4(uint32_t port, const Qor_Ethernet_TxFifo_Config_Tcp4_t* config,
                                         Qor_Ethernet_TxFifo_ConfigResult_t* result) try {
  return configureFifo(Call(kEthernet, port), config, result, Ethernet_TxFifo_Type_Tcp4,
                       QOR_ETHERNET_TX_FIFO_TCP4_FLAGS);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Config(uint32_t port, uint32_t flag, uint32_t firstValue, uint32_t secondValue,
                                    uint16_t thirdValue, Ethernet_Param_TxFifo_Type_t type, uint32_t protocolLength,
                                    const uint8_t* protocolData, uint32_t* fifoId, uint16_t* secondValueOut) try {
  return configureGeneral(Call(kEthernet, port), flag, firstValue, secondValue, thirdValue, type, protocolLength,
                          protocolData, fifoId, secondValueOut);
} catch (...) {
  return kEthernet.failedCall(port);
}
