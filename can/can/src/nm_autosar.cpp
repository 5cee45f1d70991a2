// AUTOSAR network management's global and node configuration, a node's state and its requests (command 0x40).
#include <bit>

#include "nm_commands.hpp"
#include "qor_can_nm.h"

namespace qor::can {
namespace {

enum SubFunction : uint8_t { kGlobal = 0, kNode = 1, kState = 2, kRepeatMessage = 4, kBusSynchronization = 5 };

constexpr size_t kUserDataBytes = 8;
constexpr uint32_t kGlobalFlags = 0x1F;
constexpr uint32_t kGlobalUserData = 0x10;
constexpr uint32_t kNodeFlags = 0x0F;
constexpr uint32_t kNodeFirstValue = 0x01;
constexpr uint32_t kNodeSecondValue = 0x02;
constexpr uint32_t kNodeData = 0x04;
constexpr uint32_t kNodeThirdValue = 0x08;
constexpr uint32_t kStateAnswerLength = 10;

bool isPosition(uint8_t position, uint8_t highest) {
  return position <= highest || position == QOR_CAN_NM_PDU_POSITION_NONE;
}

// The highest flag set decides how far the record goes; the fields below it go along.
int highestFlag(uint32_t flags) { return static_cast<int>(std::bit_width(flags)) - 1; }

// n bytes of the caller's data in a field of eight.
void writeUserData(kit::RecordWriter& record, const uint8_t* data, uint8_t length) {
  record.bytes(data, length).zeros(kUserDataBytes - length);
}

uint32_t checkUserDataLength(const kit::Call& call, uint8_t length) {
  return length > kUserDataBytes
             ? call.fail(kit::GeneralError::InvalidParameter, "user data length '%u' is above 8", length)
             : 0;
}

kit::RecordWriter globalRecord(const Qor_Can_Nm_AutosarGlobal_t& global) {
  // The firmware's bits 4 and 5 both stand for the user data.
  const uint32_t firmwareFlags = (global.flags & 0x0F) | ((global.flags & kGlobalUserData) != 0 ? 0x30 : 0);
  kit::RecordWriter record(28 + kUserDataBytes);
  record.u32(kGlobal).u32(firmwareFlags);
  for (uint32_t value : global.values) record.u32(value);
  const int highest = highestFlag(global.flags);
  if (highest >= 1) record.u8(global.PduNidPosition);
  if (highest >= 2) record.u8(global.PduCbvPosition);
  if (highest >= 3) record.u8(global.PduStatePosition);
  if (highest >= 4) {
    record.u8(global.userDataLength);
    writeUserData(record, global.userData, global.userDataLength);
  }
  return record;
}

kit::RecordWriter nodeRecord(const Qor_Can_Nm_AutosarNode_t& node) {
  const uint32_t flags = node.flags;
  const auto has = [flags](uint32_t flag) { return (flags & flag) != 0; };
  // The firmware's flags: the data take bits 2 and 3, the option byte and the third value bit 4.
  const uint32_t firmwareFlags = (has(kNodeFirstValue) ? 1u : 0) | (has(kNodeSecondValue) ? 2u : 0) |
                                 (has(kNodeData) ? 12u : 0) | (has(kNodeThirdValue) ? 16u : 0);
  const uint8_t dataLength = has(kNodeData) ? node.dataLength : 0;
  kit::RecordWriter record(40);
  record.u32(kNode).u32(firmwareFlags).u8(node.node);
  const int highest = highestFlag(flags);
  if (highest >= 0) {
    record.u8(dataLength).u8(has(kNodeThirdValue) ? node.option : 0).u8(0);
    record.u32(has(kNodeFirstValue) ? node.firstValue : 0);
  }
  if (highest >= 1) record.u32(has(kNodeSecondValue) ? node.secondValue : 0);
  if (highest >= 2) {
    writeUserData(record, node.firstData, dataLength);
    writeUserData(record, node.secondData, dataLength);
  }
  if (highest >= 3) record.u32(node.thirdValue);
  return record;
}

kit::RecordWriter nodeRequest(uint8_t subFunction, uint8_t node) {
  kit::RecordWriter record(8);
  record.u8(subFunction).zeros(3).u8(node).zeros(3);
  return record;
}

uint32_t sendNodeRequest(const kit::Call& call, uint8_t subFunction, uint8_t node) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return nmNodeOperation(call, nodeRequest(subFunction, node));
}

// The firmware's 0, 1, 2... are the API's 1, 2, 3...; 0 stands for any value past the highest.
uint8_t fromOne(uint8_t firmwareValue, uint8_t highest) {
  return firmwareValue <= highest ? static_cast<uint8_t>(firmwareValue + 1) : 0;
}

uint32_t configureGlobal(const kit::Call& call, const Qor_Can_Nm_AutosarGlobal_t* global) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(global, "global")) return code;
  if ((global->flags & ~kGlobalFlags) != 0) return call.fail(kit::GeneralError::UnknownFlag, "unknown flag");
  if (!isPosition(global->PduNidPosition, 1)) {
    return call.fail(kit::GeneralError::InvalidParameter, "PduNidPosition '0x%02x' is unknown", global->PduNidPosition);
  }
  if (!isPosition(global->PduCbvPosition, 1)) {
    return call.fail(kit::GeneralError::InvalidParameter, "PduCbvPosition '0x%02x' is unknown", global->PduCbvPosition);
  }
  if (!isPosition(global->PduStatePosition, 2)) {
    return call.fail(kit::GeneralError::InvalidParameter, "PduStatePosition '0x%02x' is unknown",
                     global->PduStatePosition);
  }
  if ((global->flags & kGlobalUserData) != 0) {
    if (uint32_t code = checkUserDataLength(call, global->userDataLength)) return code;
  }
  return nmNodeOperation(call, globalRecord(*global));
}

uint32_t configureNode(const kit::Call& call, const Qor_Can_Nm_AutosarNode_t* node) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(node, "node")) return code;
  if ((node->flags & ~kNodeFlags) != 0) return call.fail(kit::GeneralError::UnknownFlag, "unknown flag");
  if (uint32_t code = call.checkReserved(node->reserved7, "reserved bytes have to be zero")) return code;
  if ((node->flags & kNodeData) != 0) {
    if (uint32_t code = checkUserDataLength(call, node->dataLength)) return code;
  }
  return nmNodeOperation(call, nodeRecord(*node));
}

uint32_t readNodeState(const kit::Call& call, uint8_t node, uint32_t* stateFlags, uint8_t* mode, uint8_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(stateFlags, "stateFlags")) return code;
  if (uint32_t code = call.checkPointer(mode, "mode")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  *stateFlags = 0;
  std::vector<uint8_t> answer;
  if (uint32_t code = nmNodeOperation(call, nodeRequest(kState, node), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateAnswerLength)) return call.shortAnswer(reader);
  const uint32_t firmwareFlags = reader.u32(4);
  *stateFlags = ((firmwareFlags & 0x01) != 0 ? 1u : 0) | ((firmwareFlags & 0x04) != 0 ? 2u : 0);
  *mode = fromOne(reader.u8(8), 2);
  *state = fromOne(reader.u8(9), 5);
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Nm_Config_Autosar_Global(uint32_t port, const Qor_Can_Nm_AutosarGlobal_t* global) try {
  return qor::can::configureGlobal(qor::kit::Call(kCan, port), global);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Config_Autosar_Node(uint32_t port, const Qor_Can_Nm_AutosarNode_t* node) try {
  return qor::can::configureNode(qor::kit::Call(kCan, port), node);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Autosar_Node_GetState(uint32_t port, uint8_t node, uint32_t* stateFlags, uint8_t* mode,
                                          uint8_t* state) try {
  return qor::can::readNodeState(qor::kit::Call(kCan, port), node, stateFlags, mode, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Autosar_RepeatMessageRequest(uint32_t port, uint8_t node) try {
  return qor::can::sendNodeRequest(qor::kit::Call(kCan, port), qor::can::kRepeatMessage, node);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Autosar_RequestBusSynchronization(uint32_t port, uint8_t node) try {
  return qor::can::sendNodeRequest(qor::kit::Call(kCan, port), qor::can::kBusSynchronization, node);
} catch (...) {
  return kCan.failedCall(port);
}
