#include <span>
#include <vector>

#include "lin_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_lin_diag.h"

namespace qor::lin {
namespace {

constexpr uint8_t kStateCommand = 0xA5;
constexpr uint32_t kStateCapacity = 8;
constexpr size_t kShortestAnswer = 5;  // up to the response flags at 4
constexpr uint8_t kLastType = 2;
constexpr uint8_t kLastState = 4;
constexpr uint8_t kResponseFlagBits = 0x03;
constexpr char kAsyncName[] = "Qor_Lin_Diag_GetState_Async";

enum AnswerOffset : size_t { kValue = 1, kType = 2, kState = 3, kResponseFlags = 4 };

// The instance keys the answer, so each instance has its own asynchronous entry.
kit::AsyncFamily stateFamily(uint8_t instance) { return kit::AsyncFamily(kStateCommand, {instance}, 0); }

uint32_t checkCommandFlag(const kit::Call& call, uint32_t commandFlag) {
  return commandFlag > 1 ? call.fail(kit::GeneralError::UnknownFlag, "unknown cmdFlag in '0x%x'", commandFlag) : 0;
}

kit::RecordWriter stateQuery(uint8_t instance, uint32_t commandFlag) {
  kit::RecordWriter record(4);
  record.u8(instance).u8(static_cast<uint8_t>(commandFlag)).u16(0);
  return record;
}

uint32_t readState(const kit::Call& call, uint8_t instance, uint32_t commandFlag, uint32_t* value, uint8_t* type,
                   uint8_t* state, uint32_t* responseFlags) {
  if (uint32_t code = checkLinInterface(call)) return code;
  for (const auto& [pointer, name] : {std::pair<const void*, const char*>{value, "value"}, {type, "type"},
                                      {state, "state"}, {responseFlags, "responseFlags"}}) {
    if (uint32_t code = call.checkPointer(pointer, name)) return code;
  }
  if (uint32_t code = checkCommandFlag(call, commandFlag)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 1, stateQuery(instance, commandFlag), answer, kStateCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(kShortestAnswer)) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", reader.size());
  }
  *value = reader.u8(kValue);
  const uint8_t answerType = reader.u8(kType);
  if (answerType > kLastType) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "received unknown diag type '0x%x'", answerType);
  }
  *type = answerType;
  const uint8_t answerState = reader.u8(kState);
  if (answerState > kLastState) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "received unknown diag state '0x%x'", answerState);
  }
  *state = answerState;
  const uint8_t flags = reader.u8(kResponseFlags);
  if (flags > kResponseFlagBits) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "flag value '0x%x' is unknown", flags);
  }
  *responseFlags = flags;
  return 0;
}

uint32_t requestState(const kit::Call& call, uint8_t instance, uint32_t commandFlag) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = checkCommandFlag(call, commandFlag)) return code;
  return stateFamily(instance).request(call, stateQuery(instance, commandFlag));
}

// On the port's callback thread.
void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const uint32_t invalidAnswer = kLin.code(kit::GeneralError::InvalidResponseParameter);
  const kit::AnswerReader reader(std::span(data, length));
  const uint8_t type = reader.u8(kType);
  const uint8_t state = reader.u8(kState);
  if (!reader.has(kShortestAnswer) || type > kLastType || state > kLastState) {
    kit::reportRelayFailure(port, invalidAnswer, kAsyncName);
    return;
  }
  const uint8_t flags = reader.u8(kResponseFlags);
  if (flags > kResponseFlagBits) kit::reportRelayFailure(port, invalidAnswer, kAsyncName);
  kit::AsyncFamily::applicationCallback<Qor_Lin_Diag_StateCallback_t>(context)(
      port, reader.u8(0), reader.u8(kValue), type, state, flags & kResponseFlagBits);
}

uint32_t addCallback(const kit::Call& call, uint8_t instance, Qor_Lin_Diag_StateCallback_t callback) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (callback == nullptr) return call.fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  return stateFamily(instance).add(call.port(), stateRelay, callback);
}

uint32_t removeCallback(const kit::Call& call, uint8_t instance) {
  if (uint32_t code = checkLinInterface(call)) return code;
  return stateFamily(instance).remove(call.port());
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_Diag_GetState(uint32_t port, uint8_t instance, uint32_t commandFlag, uint32_t* value, uint8_t* type,
                               uint8_t* state, uint32_t* responseFlags) try {
  return qor::lin::readState(Call(kLin, port), instance, commandFlag, value, type, state, responseFlags);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_GetState_Async(uint32_t port, uint8_t instance, uint32_t commandFlag) try {
  return qor::lin::requestState(Call(kLin, port), instance, commandFlag);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t instance,
                                                 Qor_Lin_Diag_StateCallback_t callback) try {
  return qor::lin::addCallback(Call(kLin, port), instance, callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t instance) try {
  return qor::lin::removeCallback(Call(kLin, port), instance);
} catch (...) {
  return kLin.failedCall(port);
}
