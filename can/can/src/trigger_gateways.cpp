// The node as a gateway: for firmware commands carried over CAN (command 0x73) and to a UART (command 0x74). Each
// request is a sub-function record, answered with a record that repeats its first byte.
#include "can_library.hpp"
#include "qor_can_triggers.h"

namespace qor::can {
namespace {

constexpr uint8_t kCommandGatewayCommand = 0x73;
constexpr uint8_t kUartGatewayCommand = 0x74;
constexpr uint8_t kSubFunctionKey = 1;
constexpr uint32_t kCommandGatewayAnswerLength = 4;

enum CommandGatewaySubFunction : uint32_t {
  kSlaveEnable = 0,
  kSlaveDisable = 1,
  kMasterEnable = 2,
  kMasterDisable = 3
};
enum UartGatewaySubFunction : uint32_t { kUartReset = 0, kUartInit = 1 };

constexpr uint32_t kSlaveFlags = 0x01;
constexpr uint32_t kUartFlags = 0x0F;
constexpr uint8_t kOnlyUartInstanceType = 0;
constexpr uint8_t kHighestUartParity = 2;
constexpr uint32_t kUartResultLength = 12;

kit::RecordWriter subFunctionRecord(uint32_t subFunction, size_t length) {
  kit::RecordWriter record(length);
  record.u32(subFunction);
  return record;
}

uint32_t commandGateway(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(kCommandGatewayCommand, kSubFunctionKey, record, answer, kCommandGatewayAnswerLength);
}

uint32_t commandGatewayOff(const kit::Call& call, uint32_t subFunction) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return commandGateway(call, subFunctionRecord(subFunction, 4));
}

uint32_t enableSlave(const kit::Call& call, const Qor_Can_CmdGateway_Slave_t* slave) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(slave, "slave")) return code;
  if (uint32_t code = call.checkFlags(slave->flags, kSlaveFlags)) return code;
  if (uint32_t code = call.checkReserved(slave->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record = subFunctionRecord(kSlaveEnable, 16);
  record.u32(slave->flags).u32(slave->value).u8(slave->option).zeros(3);
  return commandGateway(call, record);
}

uint32_t enableMaster(const kit::Call& call, const Qor_Can_CmdGateway_Master_t* master) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(master, "master")) return code;
  if (uint32_t code = call.checkFlags(master->flags, 0)) return code;
  if (uint32_t code = call.checkReserved(master->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record = subFunctionRecord(kMasterEnable, 20);
  record.u32(0).u32(master->firstValue).u32(master->secondValue).u8(master->firstByte).u8(master->secondByte).u16(0);
  return commandGateway(call, record);
}

uint32_t resetUartGateway(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  std::vector<uint8_t> answer;
  return call.exchange(kUartGatewayCommand, kSubFunctionKey, subFunctionRecord(kUartReset, 4), answer);
}

uint32_t initUartGateway(const kit::Call& call, const Qor_Can_UartGateway_Init_t* init,
                         Qor_Can_UartGateway_Result_t* result) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(init, "init")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkFlags(init->flags, kUartFlags)) return code;
  if (uint32_t code = call.checkReserved(init->reserved, "reserved bytes have to be zero")) return code;
  if (init->UartInstanceType != kOnlyUartInstanceType) {
    return call.fail(kit::GeneralError::InvalidParameter, "'UartInstanceType' is unknown");
  }
  if (init->UartParity > kHighestUartParity) {
    return call.fail(kit::GeneralError::InvalidParameter, "'UartParity' is unknown");
  }
  kit::RecordWriter record = subFunctionRecord(kUartInit, 24);
  record.u32(init->flags).u32(init->firstValue).u32(init->secondValue);
  record.u8(init->UartInstanceType).u8(init->option).u8(init->UartParity).u8(0).u32(init->thirdValue);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kUartGatewayCommand, kSubFunctionKey, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kUartResultLength)) return call.shortAnswer(reader);
  *result = {reader.u32(4), reader.u32(8)};
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_CmdGateway_Slave_Enable(uint32_t port, const Qor_Can_CmdGateway_Slave_t* slave) try {
  return qor::can::enableSlave(qor::kit::Call(kCan, port), slave);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CmdGateway_Slave_Disable(uint32_t port) try {
  return qor::can::commandGatewayOff(qor::kit::Call(kCan, port), qor::can::kSlaveDisable);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CmdGateway_Master_Enable(uint32_t port, const Qor_Can_CmdGateway_Master_t* master) try {
  return qor::can::enableMaster(qor::kit::Call(kCan, port), master);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CmdGateway_Master_Disable(uint32_t port) try {
  return qor::can::commandGatewayOff(qor::kit::Call(kCan, port), qor::can::kMasterDisable);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_UartGateway_Reset(uint32_t port) try {
  return qor::can::resetUartGateway(qor::kit::Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_UartGateway_Init(uint32_t port, const Qor_Can_UartGateway_Init_t* init,
                                  Qor_Can_UartGateway_Result_t* result) try {
  return qor::can::initUartGateway(qor::kit::Call(kCan, port), init, result);
} catch (...) {
  return kCan.failedCall(port);
}
