// CCP commands of the session: connect, test, disconnect, session status, seed and key, identification, version and
// the ECU's services.
#include <algorithm>

#include "ccp_commands.hpp"

namespace qor::can::ccp {
namespace {

constexpr uint8_t kHighestDisconnectMode = 1;
constexpr uint8_t kSessionStatusBits = 0xC7;
constexpr uint8_t kSeedBytes = 5;
constexpr size_t kKeyBytes = 6;
constexpr size_t kMasterIdBytes = 6;
constexpr size_t kServiceParameterBytes = 4;

bool isSingleResource(uint8_t resource) { return resource == 0x01 || resource == 0x02 || resource == 0x40; }

uint32_t connect(const kit::Call& call, uint8_t channel, CommandCode code, uint16_t stationAddress) {
  if (uint32_t result = checkCanInterface(call)) return result;
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(code).u16LowFirst(2, stationAddress), response);
}

uint32_t disconnect(const kit::Call& call, uint8_t channel, uint8_t mode, uint16_t stationAddress) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > kHighestDisconnectMode) {
    return call.fail(kit::GeneralError::UnknownMode, "mode value '0x%02x' is unknown", mode);
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kDisconnect).u8(2, mode).u16LowFirst(4, stationAddress), response);
}

uint32_t setSessionStatus(const kit::Call& call, uint8_t channel, uint8_t statusFlag) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if ((statusFlag & ~kSessionStatusBits) != 0) {
    return call.fail(kit::GeneralError::UnknownFlag, "'statusFlag' value '0x%02x' is unknown", statusFlag);
  }
  Qor_Can_Ccp_Response_t response;
  return run(call, channel, Cro(kSetSessionStatus).u8(2, statusFlag), response);
}

uint32_t getSessionStatus(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_SessionStatus_t* status) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kGetSessionStatus), response)) return code;
  *status = {};
  status->status = response.crm[3] & kSessionStatusBits;
  status->qualifier = response.crm[4];
  std::copy_n(response.crm + 5, sizeof status->info, status->info);
  return 0;
}

uint32_t getSeed(const kit::Call& call, uint8_t channel, uint8_t resource, uint8_t* seed) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (resource == 0) return call.fail(kit::GeneralError::InvalidParameter, "no resource or function was selected");
  if (!isSingleResource(resource)) {
    return call.fail(kit::GeneralError::InvalidParameter, "only one resource or function may be requested");
  }
  if (uint32_t code = call.checkPointer(seed, "seed")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kGetSeed).u8(2, resource), response)) return code;
  std::ranges::copy(crmData(response).first(kSeedBytes), seed);
  return 0;
}

uint32_t unlock(const kit::Call& call, uint8_t channel, const uint8_t* key, uint8_t* privileges) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(key, "key")) return code;
  if (uint32_t code = call.checkPointer(privileges, "privileges")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kUnlock).bytes(2, {key, kKeyBytes}), response)) return code;
  *privileges = response.crm[3] & kResourceBits;
  return 0;
}

uint32_t exchangeId(const kit::Call& call, uint8_t channel, const uint8_t* masterId, Qor_Can_Ccp_ExchangeId_t* result) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  Cro cro(kExchangeId);
  if (masterId != nullptr) cro.bytes(2, {masterId, kMasterIdBytes});
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, cro, response)) return code;
  *result = {response.crm[3], response.crm[4], static_cast<uint8_t>(response.crm[5] & kResourceBits),
             static_cast<uint8_t>(response.crm[6] & kResourceBits)};
  return 0;
}

uint32_t getCcpVersion(const kit::Call& call, uint8_t channel, uint8_t mainVersion, uint8_t release,
                       Qor_Can_Ccp_ShortResult_t* result) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  Qor_Can_Ccp_Response_t response;
  if (uint32_t code = run(call, channel, Cro(kGetCcpVersion).u8(2, mainVersion).u8(3, release), response)) {
    return code;
  }
  *result = {response.crm[3], response.crm[4], 0};
  return 0;
}

uint32_t service(const kit::Call& call, uint8_t channel, CommandCode code, uint16_t serviceNumber,
                 const uint8_t* parameters, Qor_Can_Ccp_ShortResult_t* result) {
  if (uint32_t failed = checkCanInterface(call)) return failed;
  if (uint32_t failed = call.checkPointer(result, "result")) return failed;
  Cro cro(code);
  cro.value(2, serviceNumber, 2);
  if (parameters != nullptr) cro.bytes(4, {parameters, kServiceParameterBytes});
  Qor_Can_Ccp_Response_t response;
  if (uint32_t failed = run(call, channel, cro, response)) return failed;
  *result = {response.crm[3], response.crm[4], 0};
  return 0;
}

}  // namespace
}  // namespace qor::can::ccp

using qor::can::kCan;
using qor::kit::Call;
namespace ccp = qor::can::ccp;

uint32_t Qor_Can_Ccp_Command_Connect(uint32_t port, uint8_t channel, uint16_t stationAddress) try {
  return ccp::connect(Call(kCan, port), channel, ccp::kConnect, stationAddress);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Test(uint32_t port, uint8_t channel, uint16_t stationAddress) try {
  return ccp::connect(Call(kCan, port), channel, ccp::kTest, stationAddress);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Disconnect(uint32_t port, uint8_t channel, uint8_t mode, uint16_t stationAddress) try {
  return ccp::disconnect(Call(kCan, port), channel, mode, stationAddress);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_SetSessionStatus(uint32_t port, uint8_t channel, uint8_t statusFlag) try {
  return ccp::setSessionStatus(Call(kCan, port), channel, statusFlag);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_GetSessionStatus(uint32_t port, uint8_t channel,
                                              Qor_Can_Ccp_SessionStatus_t* status) try {
  return ccp::getSessionStatus(Call(kCan, port), channel, status);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_GetSeed(uint32_t port, uint8_t channel, uint8_t resource, uint8_t* seed) try {
  return ccp::getSeed(Call(kCan, port), channel, resource, seed);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_Unlock(uint32_t port, uint8_t channel, const uint8_t* key, uint8_t* privileges) try {
  return ccp::unlock(Call(kCan, port), channel, key, privileges);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_ExchangeId(uint32_t port, uint8_t channel, const uint8_t* masterId,
                                        Qor_Can_Ccp_ExchangeId_t* result) try {
  return ccp::exchangeId(Call(kCan, port), channel, masterId, result);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_GetCcpVersion(uint32_t port, uint8_t channel, uint8_t mainVersion, uint8_t release,
                                           Qor_Can_Ccp_ShortResult_t* result) try {
  return ccp::getCcpVersion(Call(kCan, port), channel, mainVersion, release, result);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_DiagService(uint32_t port, uint8_t channel, uint16_t serviceNumber,
                                         const uint8_t* parameters, Qor_Can_Ccp_ShortResult_t* result) try {
  return ccp::service(Call(kCan, port), channel, ccp::kDiagService, serviceNumber, parameters, result);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command_ActionService(uint32_t port, uint8_t channel, uint16_t serviceNumber,
                                           const uint8_t* parameters, Qor_Can_Ccp_ShortResult_t* result) try {
  return ccp::service(Call(kCan, port), channel, ccp::kActionService, serviceNumber, parameters, result);
} catch (...) {
  return kCan.failedCall(port);
}
