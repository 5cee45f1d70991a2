// The node's properties (command 0x20, sub-functions 6 and 7): the MTU and the data rate.
#include <vector>

#include "ethernet_library.hpp"
#include "node_command.hpp"
#include "qor_ethernet_node.h"

namespace qor::ethernet {
namespace {

constexpr size_t kPropertyAnswerBytes = 8;

enum NodeProperty : uint16_t { kMtu = 0, kDataRate = 1 };

uint32_t setProperty(const kit::Call& call, NodeProperty property, uint32_t value) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  kit::RecordWriter record(12);
  record.u32(kPropertySet).u16(property).u16(0).u32(value);
  std::vector<uint8_t> answer;
  return call.exchange(kNodeCommand, 1, record, answer);
}

uint32_t getProperty(const kit::Call& call, NodeProperty property, uint32_t* value) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, value, "value")) return code;
  kit::RecordWriter record(8);
  record.u32(kPropertyGet).u16(property).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kNodeCommand, 1, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kPropertyAnswerBytes)) return code;
  *value = reader.u32(4);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Node_Mtu_Set(uint32_t port, uint32_t mtu) try {
  return setProperty(Call(kEthernet, port), kMtu, mtu);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_Mtu_Get(uint32_t port, uint32_t* mtu) try {
  return getProperty(Call(kEthernet, port), kMtu, mtu);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_DataRate_Set(uint32_t port, uint32_t dataRate) try {
  return setProperty(Call(kEthernet, port), kDataRate, dataRate);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Node_DataRate_Get(uint32_t port, uint32_t* dataRate) try {
  return getProperty(Call(kEthernet, port), kDataRate, dataRate);
} catch (...) {
  return kEthernet.failedCall(port);
}
