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

uint32_t sendNodeList(uint32_t port, uint8_t subFunction, uint8_t count, const uint8_t* nodes) {
  const kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(nodes, "nodes")) return code;
  kit::RecordWriter record(kLongestNodeList);
  record.u8(subFunction).zeros(3).u8(count).zeros(3).bytes(nodes, count);
  return nmNodeOperation(call, record);
}

uint32_t sendGroup(uint32_t port, uint8_t command, uint8_t group) {
  const kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkNmGroup(call, group)) return code;
  kit::RecordWriter record(2);
  record.u8(group).u8(0);
  return call.send(command, record);
}

}  // namespace
}  // namespace qor::can

using namespace qor::can;

uint32_t Qor_Can_Nm_Nodes_Start(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return sendNodeList(port, kStartNodes, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_Stop(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return sendNodeList(port, kStopNodes, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_GoToMode_Awake(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return sendNodeList(port, kNodesAwake, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_GoToMode_BusSleep(uint32_t port, uint8_t count, const uint8_t* nodes) try {
  return sendNodeList(port, kNodesBusSleep, count, nodes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Nodes_ChangeGroup(uint32_t port, uint8_t group, uint8_t count, const uint8_t* nodes) try {
  const qor::kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkNmGroup(call, group)) return code;
  if (count != 0) {
    if (uint32_t code = call.checkPointer(nodes, "nodes")) return code;
  }
  qor::kit::RecordWriter record(kLongestNodeList);
  record.u32(kChangeGroup).u8(group).u8(count).u16(0).bytes(nodes, count);
  return nmNodeOperation(call, record);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_Start(uint32_t port, uint8_t group) try {
  return sendGroup(port, kGroupStartCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_Stop(uint32_t port, uint8_t group) try {
  return sendGroup(port, kGroupStopCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_GoToMode_Awake(uint32_t port, uint8_t group) try {
  return sendGroup(port, kGroupAwakeCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Group_GoToMode_BusSleep(uint32_t port, uint8_t group) try {
  return sendGroup(port, kGroupBusSleepCommand, group);
} catch (...) {
  return kCan.failedCall(port);
}
