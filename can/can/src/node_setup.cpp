#include <vector>

#include "can_library.hpp"
#include "node_configuration.hpp"
#include "node_mode.hpp"
#include "qor_api.h"
#include "qor_can_node.h"

namespace qor::can {
namespace {

constexpr uint8_t kSetBitTimingCommand = 0x14;
constexpr uint8_t kTxPathCommand = 0x1C;
constexpr uint8_t kTransceiverModeCommand = 0x1D;

uint32_t initInterface(const kit::Call& call, uint8_t mode, uint32_t flags) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkLock(QOR_LOCK_INTERFACE)) return code;
  return Qor_InterfaceConfig_Can_InitInterface(call.port(), mode, flags);
}

uint32_t setBitTimingRegister(const kit::Call& call, uint32_t registerValue, uint8_t transceiverType) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (registerValue > QOR_CAN_BIT_TIMING_REGISTER_MAX) {
    return call.fail(kCan.code(kInvalidBaudrateRegisterValue), "0x%08X", registerValue);
  }
  if (transceiverType > QOR_CAN_TRANSCEIVER_TYPE_MAX) {
    return call.fail(kCan.code(kUnknownTransceiverType), "%u", unsigned{transceiverType});
  }
  kit::RecordWriter record(4);
  record.u16(static_cast<uint16_t>(registerValue)).u8(transceiverType).u8(0);
  return call.send(kSetBitTimingCommand, record);
}

// {mode, 0, 0, 0}, acknowledged.
uint32_t sendMode(const kit::Call& call, uint8_t command, uint8_t mode, uint8_t highest) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkMode(call, mode, highest)) return code;
  kit::RecordWriter record(4);
  record.u8(mode).zeros(3);
  return call.send(command, record);
}

// A node configuration of its sub-function alone; the answer carries nothing the caller gets.
uint32_t switchNode(const kit::Call& call, NodeConfiguration subFunction) {
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(subFunction);
  std::vector<uint8_t> answer;
  return configureNode(call, record, answer);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_InitInterface(uint32_t port, uint8_t mode, uint32_t flags) try {
  return qor::can::initInterface(Call(kCan, port), mode, flags);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(uint32_t port, uint32_t registerValue,
                                                            uint8_t transceiverType) try {
  return qor::can::setBitTimingRegister(Call(kCan, port), registerValue, transceiverType);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_Transceiver_SetMode(uint32_t port, uint8_t mode) try {
  return qor::can::sendMode(Call(kCan, port), qor::can::kTransceiverModeCommand, mode, QOR_CAN_TRANSCEIVER_MODE_MAX);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_TxPath_Control(uint32_t port, uint8_t mode) try {
  return qor::can::sendMode(Call(kCan, port), qor::can::kTxPathCommand, mode, QOR_CAN_TX_PATH_MODE_MAX);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_BusTermination_Enable(uint32_t port) try {
  return qor::can::switchNode(Call(kCan, port), qor::can::kBusTerminationOn);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_BusTermination_Disable(uint32_t port) try {
  return qor::can::switchNode(Call(kCan, port), qor::can::kBusTerminationOff);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_InternalVBat_Enable(uint32_t port) try {
  return qor::can::switchNode(Call(kCan, port), qor::can::kInternalVBatOn);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_InternalVBat_Disable(uint32_t port) try {
  return qor::can::switchNode(Call(kCan, port), qor::can::kInternalVBatOff);
} catch (...) {
  return kCan.failedCall(port);
}
