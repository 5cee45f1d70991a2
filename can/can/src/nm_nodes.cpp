// Lists of simulated nodes (command 0x40) and the two node groups (commands 0x42 to 0x45) started, stopped, woken and
// sent to bus sleep.
#include "nm_commands.hpp"
#include "qor_can_nm.h"

namespace qor::can {
namespace {

enum NodeListSubFunction : uint8_t { kStartNodes = 6, kStopNodes = 7, kNodesAwake = 8, kNodesBusSleep = 9 };
constexpr uint32_t kChangeGroup = 10;

constexpr uint8_t kGroupStartCommand = 0x42;
constexpr uint8_t kGroupStopCommand = 0x43;
constexpr uint8_t kGroupBusSleepCommand = 0x44;
constexpr uint8_t kGroupAwakeCommand = 0x45;

constexpr size_t kLongestNodeList = 8 + UINT8_MAX;

uint32_t sendNodeList(const kit::Call& call, uint8_t subFunction, uint8_t count, const uint8_t* nodes) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(nodes, "nodes")) return code;
  kit::RecordWriter record(kLongestNodeList);
  record.u8(subFunction).zeros(3).u8(count).zeros(3).bytes(nodes, count);
  return nmNodeOperation(call, record);
}

uint32_t sendGroup(const kit::Call& call, uint8_t command, uint8_t group) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkNmGroup(call, group)) return code;
  kit::RecordWriter record(2);
  record.u8(group).u8(0);
  return call.send(command, record);
}

uint32_t changeGroup(const kit::Call& call, uint8_t group, uint8_t count, const uint8_t* nodes) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkNmGroup(call, group)) return code;
  if (count != 0) {
    if (uint32_t code = call.checkPointer(nodes, "nodes")) return code;
  }
  kit::RecordWriter record(kLongestNodeList);
  record.u32(kChangeGroup).u8(group).u8(count).u16(0).bytes(nodes, count);
  return nmNodeOperation(call, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Nm_Nodes_Start(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return qor::can::sendNodeList(qor::kit::Call(kCan, port), qor::can::kStartNodes, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_Stop(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return qor::can::sendNodeList(qor::kit::Call(kCan, port), qor::can::kStopNodes, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_GoToMode_Awake(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return qor::can::sendNodeList(qor::kit::Call(kCan, port), qor::can::kNodesAwake, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_GoToMode_BusSleep(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return qor::can::sendNodeList(qor::kit::Call(kCan, port), qor::can::kNodesBusSleep, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_ChangeGroup(uint32_t port, uint8_t group, uint8_t count, const uint8_t* nodes) try {
  return qor::can::changeGroup(qor::kit::Call(kCan, port), group, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_Start(uint32_t port, uint8_t group) try {
  return qor::can::sendGroup(qor::kit::Call(kCan, port), qor::can::kGroupStartCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_Stop(uint32_t port, uint8_t group) try {
  return qor::can::sendGroup(qor::kit::Call(kCan, port), qor::can::kGroupStopCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_GoToMode_Awake(uint32_t port, uint8_t group) try {
  return qor::can::sendGroup(qor::kit::Call(kCan, port), qor::can::kGroupAwakeCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_GoToMode_BusSleep(uint32_t port, uint8_t group) try {
  return qor::can::sendGroup(qor::kit::Call(kCan, port), qor::can::kGroupBusSleepCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}
