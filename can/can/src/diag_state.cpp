// The state of a diagnostic channel (command 0xA5), synchronous and through the asynchronous triple.
#include <span>
#include <vector>

#include "can_library.hpp"
#include "qor_can_diag.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/async_family.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kDiagStateCommand = 0xA5;
constexpr uint32_t kStateAnswerCapacity = 8;
constexpr size_t kStateAnswerBytes = 5;
constexpr uint32_t kHighestCommandFlag = 1;
constexpr uint8_t kHighestType = 7;
constexpr uint8_t kHighestState = 4;
constexpr uint8_t kResponseFlags = 0x0F;
constexpr const char* kAsyncFunction = "Qor_Can_Diag_GetState_Async";

kit::AsyncFamily stateFamily(uint8_t channel) { return kit::AsyncFamily(kDiagStateCommand, {channel}, 0); }

uint32_t checkCommandFlag(const kit::Call& call, uint32_t commandFlag) {
  return commandFlag > kHighestCommandFlag ? call.fail(kit::GeneralError::UnknownFlag, "%u", commandFlag) : 0;
}

kit::RecordWriter stateRecord(uint8_t channel, uint32_t commandFlag) {
  kit::RecordWriter record(4);
  record.u8(channel).u8(static_cast<uint8_t>(commandFlag)).u16(0);
  return record;
}

uint32_t getState(const kit::Call& call, uint8_t channel, uint32_t commandFlag, uint32_t* lastErrorCode, uint8_t* type,
                  uint8_t* state, uint32_t* rspFlags) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(lastErrorCode, "lastErrorCode")) return code;
  if (uint32_t code = call.checkPointer(type, "type")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(rspFlags, "rspFlags")) return code;
  if (uint32_t code = checkCommandFlag(call, commandFlag)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kDiagStateCommand, 1, stateRecord(channel, commandFlag), answer,
                                    kStateAnswerCapacity)) {
    return code;
  }
  if (answer.size() < kStateAnswerBytes) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  }
  const uint8_t answeredType = answer[2];
  if (answeredType > kHighestType) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "received unknown diag type '%x'", answeredType);
  }
  *type = answeredType;
  const uint8_t answeredState = answer[3];
  if (answeredState > kHighestState) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "received unknown diag state '%x'", answeredState);
  }
  *state = answeredState;
  *lastErrorCode = answer[1];
  *rspFlags = answer[4] & kResponseFlags;
  return 0;
}

uint32_t requestState(const kit::Call& call, uint8_t channel, uint32_t commandFlag) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkCommandFlag(call, commandFlag)) return code;
  return stateFamily(channel).request(call, stateRecord(channel, commandFlag));
}

// On the port's callback thread.
void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kStateAnswerBytes) {
    kit::reportRelayFailure(port, kCan.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  if (answer[2] > kHighestType || answer[3] > kHighestState) {
    kit::reportRelayFailure(port, kCan.code(kit::GeneralError::InvalidResponseParameter), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Can_Diag_StateCallback_t>(context)(
      port, answer[0], answer[1], answer[2], answer[3], answer[4] & kResponseFlags);
}

uint32_t addStateCallback(const kit::Call& call, uint8_t channel, Qor_Can_Diag_StateCallback_t callback) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (callback == nullptr) return call.fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  return stateFamily(channel).add(call.port(), stateRelay, callback);
}

uint32_t removeStateCallback(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return stateFamily(channel).remove(call.port());
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Diag_GetState(uint32_t port, uint8_t channel, uint32_t commandFlag, uint32_t* lastErrorCode,
                               uint8_t* type, uint8_t* state, uint32_t* rspFlags) try {
  return qor::can::getState(Call(kCan, port), channel, commandFlag, lastErrorCode, type, state, rspFlags);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_GetState_Async(uint32_t port, uint8_t channel, uint32_t commandFlag) try {
  return qor::can::requestState(Call(kCan, port), channel, commandFlag);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                 Qor_Can_Diag_StateCallback_t callback) try {
  return qor::can::addStateCallback(Call(kCan, port), channel, callback);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::can::removeStateCallback(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}
