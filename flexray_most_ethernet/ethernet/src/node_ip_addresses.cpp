// The node's local IPv4 and IPv6 addresses (command 0x20): adding, removing and reading them all.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "ethernet_library.hpp"
#include "node_command.hpp"
#include "qor_ethernet_node.h"

namespace qor::ethernet {
namespace {

constexpr size_t kIp4EntryBytes = 12;
constexpr size_t kIp6EntryBytes = 20, kIp6AddressBytes = 16;

// The checks of a caller's record: present, its flags.
template <class Record>
uint32_t checkRecord(const kit::Call& call, const Record* record, const char* name) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, record, name)) return code;
  return checkFlags(call, record->flags, QOR_ETHERNET_NODE_QUALIFIED);
}

uint32_t send(const kit::Call& call, kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return exchangeNode(call, record, answer);
}

uint32_t addIp4(const kit::Call& call, const Qor_Ethernet_Node_Ip4Address_t* address) {
  if (uint32_t code = checkRecord(call, address, "address")) return code;
  kit::RecordWriter record = nodeRecord(24, kIp4AddressAdd, address->flags);
  record.bytes(address->address, sizeof address->address).bytes(address->mask, sizeof address->mask);
  record.u32(qualifierToSend(address->flags, address->qualifier));
  return send(call, record);
}

uint32_t removeIp4(const kit::Call& call, const Qor_Ethernet_Node_Ip4AddressKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key")) return code;
  kit::RecordWriter record = nodeRecord(20, kIp4AddressRemove, key->flags);
  record.bytes(key->address, sizeof key->address).u32(qualifierToSend(key->flags, key->qualifier));
  return send(call, record);
}

uint32_t addIp6(const kit::Call& call, const Qor_Ethernet_Node_Ip6Address_t* address) {
  if (uint32_t code = checkRecord(call, address, "address")) return code;
  if (uint32_t code = checkReserved(call, address->reserved[0] | address->reserved[1] | address->reserved[2])) {
    return code;
  }
  kit::RecordWriter record = nodeRecord(36, kIp6AddressAdd, address->flags);
  record.bytes(address->address, sizeof address->address).u8(address->prefix).zeros(3).u32(address->qualifier);
  return send(call, record);
}

uint32_t removeIp6(const kit::Call& call, const Qor_Ethernet_Node_Ip6AddressKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key")) return code;
  kit::RecordWriter record = nodeRecord(32, kIp6AddressRemove, key->flags);
  record.bytes(key->address, sizeof key->address).u32(key->qualifier);
  return send(call, record);
}

// Sends the read request of the selection; answer gets the list.
uint32_t readAddresses(const kit::Call& call, NodeSubFunction subFunction,
                       const Qor_Ethernet_Node_Selection_t* selection, const void* list, std::vector<uint8_t>& answer) {
  if (uint32_t code = checkRecord(call, selection, "selection")) return code;
  if (uint32_t code = checkPointer(call, list, "list")) return code;
  kit::RecordWriter record = nodeRecord(16, subFunction, selection->flags);
  // Only the IPv4 read leaves the qualifier out without the flag.
  record.u32(subFunction == kIp4AddressesRead ? qualifierToSend(selection->flags, selection->qualifier)
                                              : selection->qualifier);
  return exchangeNode(call, record, answer);
}

uint32_t getAllIp4(const kit::Call& call, const Qor_Ethernet_Node_Selection_t* selection,
                   Qor_Ethernet_Node_Ip4AddressList_t* list) {
  std::vector<uint8_t> answer;
  if (uint32_t code = readAddresses(call, kIp4AddressesRead, selection, list, answer)) return code;
  return readList(call, answer, list, &Qor_Ethernet_Node_Ip4AddressList_t::entries, kIp4EntryBytes, "addresses",
                  [](Qor_Ethernet_Node_Ip4Entry_t& entry, std::span<const uint8_t> bytes) {
                    std::copy_n(bytes.begin(), sizeof entry.address, entry.address);
                    std::copy_n(bytes.begin() + sizeof entry.address, sizeof entry.mask, entry.mask);
                  });
}

uint32_t getAllIp6(const kit::Call& call, const Qor_Ethernet_Node_Selection_t* selection,
                   Qor_Ethernet_Node_Ip6AddressList_t* list) {
  std::vector<uint8_t> answer;
  if (uint32_t code = readAddresses(call, kIp6AddressesRead, selection, list, answer)) return code;
  return readList(call, answer, list, &Qor_Ethernet_Node_Ip6AddressList_t::entries, kIp6EntryBytes, "addresses",
                  [](Qor_Ethernet_Node_Ip6Entry_t& entry, std::span<const uint8_t> bytes) {
                    std::copy_n(bytes.begin(), kIp6AddressBytes, entry.address);
                    entry.prefix = bytes[kIp6AddressBytes];
                  });
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Node_LocalIp4Address_Add(uint32_t port, const Qor_Ethernet_Node_Ip4Address_t* address) try {
  return addIp4(Call(kEthernet, port), address);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_LocalIp4Address_Remove(uint32_t port, const Qor_Ethernet_Node_Ip4AddressKey_t* key) try {
  return removeIp4(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_LocalIp4Address_GetAll(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                                  Qor_Ethernet_Node_Ip4AddressList_t* list) try {
  return getAllIp4(Call(kEthernet, port), selection, list);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_LocalIp6Address_Add(uint32_t port, const Qor_Ethernet_Node_Ip6Address_t* address) try {
  return addIp6(Call(kEthernet, port), address);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_LocalIp6Address_Remove(uint32_t port, const Qor_Ethernet_Node_Ip6AddressKey_t* key) try {
  return removeIp6(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_LocalIp6Address_GetAll(uint32_t port, const Qor_Ethernet_Node_Selection_t* selection,
                                                  Qor_Ethernet_Node_Ip6AddressList_t* list) try {
  return getAllIp6(Call(kEthernet, port), selection, list);
} catch (...) {
  return kEthernet.failedCall(port);
}
