// The node's VLANs (command 0x20): configuring, deleting and reading them all.
#include <span>
#include <vector>

#include "ethernet_library.hpp"
#include "node_command.hpp"
#include "qor_ethernet_node.h"

namespace qor::ethernet {
namespace {

constexpr size_t kVlanEntryBytes = 4;

uint32_t changeVlan(const kit::Call& call, NodeSubFunction subFunction, const Qor_Ethernet_Node_Selection_t* vlan,
                    uint32_t allowedFlags) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, vlan, "vlan")) return code;
  if (uint32_t code = checkFlags(call, vlan->flags, allowedFlags)) return code;
  kit::RecordWriter record = nodeRecord(16, subFunction, vlan->flags);
  record.u32(vlan->qualifier);
  std::vector<uint8_t> answer;
  return exchangeNode(call, record, answer);
}

uint32_t getAllVlans(const kit::Call& call, uint32_t flags, Qor_Ethernet_Node_VlanList_t* list) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, list, "list")) return code;
  if (uint32_t code = checkFlags(call, flags, 0)) return code;
  kit::RecordWriter record = nodeRecord(12, kVlansRead, 0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeNode(call, record, answer)) return code;
  return readList(call, answer, list, &Qor_Ethernet_Node_VlanList_t::vlans, kVlanEntryBytes, "Vlans",
                  [](uint32_t& vlan, std::span<const uint8_t> bytes) {
                    vlan = static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24);
                  });
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Node_Vlan_Config(uint32_t port, const Qor_Ethernet_Node_Selection_t* vlan) try {
  return changeVlan(Call(kEthernet, port), kVlanConfigure, vlan, 0);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_Vlan_Delete(uint32_t port, const Qor_Ethernet_Node_Selection_t* vlan) try {
  return changeVlan(Call(kEthernet, port), kVlanDelete, vlan, QOR_ETHERNET_NODE_QUALIFIED);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_Vlan_GetAll(uint32_t port, uint32_t flags, Qor_Ethernet_Node_VlanList_t* list) try {
  return getAllVlans(Call(kEthernet, port), flags, list);
} catch (...) {
  return kEthernet.failedCall(port);
}
