// The node's MAC address (command 0x20): reading and setting it.
#include <algorithm>
#include <vector>

#include "ethernet_library.hpp"
#include "node_command.hpp"
#include "qor_ethernet_node.h"

namespace qor::ethernet {
namespace {

constexpr size_t kMacAddressOffset = 8;
constexpr size_t kMacAnswerBytes = kMacAddressOffset + 6;

uint32_t getMacAddress(const kit::Call& call, const Qor_Ethernet_Node_Selection_t* selection,
                       Qor_Ethernet_Node_MacAddress_t* macAddress) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, selection, "selection")) return code;
  if (uint32_t code = checkPointer(call, macAddress, "macAddress")) return code;
  if (uint32_t code = checkFlags(call, selection->flags, QOR_ETHERNET_NODE_QUALIFIED)) return code;
  kit::RecordWriter record = nodeRecord(16, kMacAddressRead, selection->flags);
  record.u32(qualifierToSend(selection->flags, selection->qualifier));
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeNode(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kMacAnswerBytes)) return code;
  *macAddress = {};
  std::ranges::copy(reader.bytes(kMacAddressOffset, sizeof macAddress->address), macAddress->address);
  return 0;
}

uint32_t setMacAddress(const kit::Call& call, const Qor_Ethernet_Node_MacAddressSetting_t* setting) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, setting, "setting")) return code;
  if (uint32_t code = checkFlags(call, setting->flags, QOR_ETHERNET_NODE_QUALIFIED)) return code;
  if (uint32_t code = checkReserved(call, setting->reserved)) return code;
  kit::RecordWriter record = nodeRecord(24, kMacAddressSet, setting->flags);
  record.bytes(setting->address, sizeof setting->address).u16(0);
  record.u32(qualifierToSend(setting->flags, setting->qualifier));
  std::vector<uint8_t> answer;
  return exchangeNode(call, record, answer);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Node_MacAddress_Get(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                          Qor_Ethernet_Node_MacAddress_t* macAddress) try {
  return getMacAddress(Call(kEthernet, port), selection, macAddress);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_MacAddress_Set(uint32_t port, const Qor_Ethernet_Node_MacAddressSetting_t* setting) try {
  return setMacAddress(Call(kEthernet, port), setting);
} catch (...) {
  return kEthernet.failedCall(port);
}
