// CCP commands that set up and run the ECU's DAQ lists.
#include <iterator>

#include "ccp_commands.hpp"

namespace qor::can::ccp {
namespace {

constexpr uint8_t kHighestStartStopMode = 2;
constexpr uint8_t kHighestStartStopAllMode = 1;
constexpr uint8_t kElementBytes[] = {1, 2, 4};

uint32_t startStop(const kit::Call& call, uint8_t channel, uint8_t mode, uint8_t daqList, uint8_t lastOdt,
                   uint8_t eventChannel, uint16_t prescaler) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > kHighestStartStopMode) {
    return call.fail(kit::GeneralError::UnknownMode, "mode value '0x%02x' is unknown", mode);
  }
  if (prescaler < 1) {
    return call.fail(kit::GeneralError::InvalidParameter, "'transmissionRatePrescaler' has to be >= 1");
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel,
             Cro(kStartStop).u8(2, mode).u8(3, daqList).u8(4, lastOdt).u8(5, eventChannel).value(6, prescaler, 2),
             response);
}

uint32_t startStopAll(const kit::Call& call, uint8_t channel, uint8_t mode) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > kHighestStartStopAllMode) {
    return call.fail(kit::GeneralError::UnknownMode, "mode value '0x%02x' is unknown", mode);
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kStartStopAll).u8(2, mode), response);
}

uint32_t getDaqSize(const kit::Call& call, uint8_t channel, uint8_t daqList, uint32_t dtoIdentifier,
                    Qor_Can_Ccp_ShortResult_t* result) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kGetDaqSize).u8(2, daqList).value(4, dtoIdentifier, 4), response)) {
    return code;
  }
  *result = {response.crm[3], response.crm[4], 0};
  return 0;
}

uint32_t setDaqPtr(const kit::Call& call, uint8_t channel, uint8_t daqList, uint8_t odt, uint8_t element) {
  if (uint32_t code = checkCanInterface(call)) return code;
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kSetDaqPtr).u8(2, daqList).u8(3, odt).u8(4, element), response);
}

uint32_t writeDaq(const kit::Call& call, uint8_t channel, uint8_t sizeOfDaqElement, uint8_t addressExtension,
                  uint32_t address) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (sizeOfDaqElement >= std::size(kElementBytes)) {
    return call.fail(kit::GeneralError::InvalidParameter, "'sizeOfDaqElement' value is invalid");
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel,
             Cro(kWriteDaq).u8(2, kElementBytes[sizeOfDaqElement]).u8(3, addressExtension).value(4, address, 4),
             response);
}

}  // namespace
}  // namespace qor::can::ccp

using qor::can::kCan;
using qor::kit::Call;
namespace ccp = qor::can::ccp;

uint32_t Qor_Can_Ccp_Command_StartStop(uint32_t port, uint8_t channel, uint8_t mode, uint8_t daqList, uint8_t lastOdt,
                                       uint8_t eventChannel, uint16_t transmissionRatePrescaler) try {
  return ccp::startStop(Call(kCan, port), channel, mode, daqList, lastOdt, eventChannel, transmissionRatePrescaler);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_StartStopAll(uint32_t port, uint8_t channel, uint8_t mode) try {
  return ccp::startStopAll(Call(kCan, port), channel, mode);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_GetDaqSize(uint32_t port, uint8_t channel, uint8_t daqList, uint32_t dtoIdentifier,
                                        Qor_Can_Ccp_ShortResult_t* result) try {
  return ccp::getDaqSize(Call(kCan, port), channel, daqList, dtoIdentifier, result);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_SetDaqPtr(uint32_t port, uint8_t channel, uint8_t daqList, uint8_t odt,
                                       uint8_t element) try {
  return ccp::setDaqPtr(Call(kCan, port), channel, daqList, odt, element);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_WriteDaq(uint32_t port, uint8_t channel, uint8_t sizeOfDaqElement,
                                      uint8_t addressExtension, uint32_t address) try {
  return ccp::writeDaq(Call(kCan, port), channel, sizeOfDaqElement, addressExtension, address);
} catch (...) {
  return kCan.failedCall(port);
}
