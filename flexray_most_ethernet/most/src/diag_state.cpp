// The state of a diagnostic channel (command 0xA5, one control byte: the channel), synchronous and through the
// asynchronous triple.
#include <span>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_diag.h"

namespace qor::most {
namespace {

constexpr uint8_t kStateCommand = 0xA5;
constexpr uint32_t kStateAnswerCapacity = 8;
constexpr size_t kStateAnswerBytes = 5;  // {channel, result, type, state, flags}
constexpr const char* kAsyncFunction = "Qor_Most_Diag_GetState_Async";

kit::AsyncFamily stateFamily(uint8_t channel) { return kit::AsyncFamily(kStateCommand, {channel}, 0); }

kit::RecordWriter stateRequest(uint8_t channel, uint32_t flag) {
  kit::RecordWriter record(4);
  record.u8(channel).u8(static_cast<uint8_t>(flag)).u16(0);
  return record;
}

uint32_t checkStateFlag(const kit::Call& call, uint32_t flag) {
  return flag > QOR_MOST_DIAG_MAX_STATE_FLAG ? call.fail(kit::GeneralError::UnknownFlag, "%u", flag) : 0;
}

uint32_t getState(const kit::Call& call, uint8_t channel, uint32_t flag, uint32_t* result, uint8_t* diagType,
                  uint8_t* diagState, uint32_t* state) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkPointer(diagType, "diagType")) return code;
  if (uint32_t code = call.checkPointer(diagState, "diagState")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = checkStateFlag(call, flag)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 1, stateRequest(channel, flag), answer, kStateAnswerCapacity)) {
    return code;
  }
  if (answer.size() < kStateAnswerBytes) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  }
  if (answer[2] > QOR_MOST_DIAG_MAX_TYPE) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "invalid diag type '%d' in response from firmware",
                     answer[2]);
  }
  *diagType = answer[2];
  if (answer[3] > QOR_MOST_DIAG_MAX_STATE) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "invalid diag state '%d' in response from firmware",
                     answer[3]);
  }
  *diagState = answer[3];
  *result = answer[1];
  *state = answer[4] & QOR_MOST_DIAG_STATE_FLAGS;
  return 0;
}

uint32_t requestState(const kit::Call& call, uint8_t channel, uint32_t flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkStateFlag(call, flag)) return code;
  return stateFamily(channel).request(call, stateRequest(channel, flag));
}

// On the port's callback thread.
void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kStateAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  if (answer[2] > QOR_MOST_DIAG_MAX_TYPE || answer[3] > QOR_MOST_DIAG_MAX_STATE) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Diag_GetStateCallback_t>(context)(
      port, answer[0], answer[1], answer[2], answer[3], answer[4] & QOR_MOST_DIAG_STATE_FLAGS);
}

uint32_t addStateCallback(const kit::Call& call, uint8_t channel, Qor_Most_Diag_GetStateCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return stateFamily(channel).add(call.port(), stateRelay, callback);
}

uint32_t removeStateCallback(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return stateFamily(channel).remove(call.port());
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Diag_GetState(uint32_t port, uint8_t channel, uint32_t flag, uint32_t* result, uint8_t* diagType,
                                uint8_t* diagState, uint32_t* state) try {
  return qor::most::getState(Call(kMost, port), channel, flag, result, diagType, diagState, state);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Diag_GetState_Async(uint32_t port, uint8_t channel, uint32_t flag) try {
  return qor::most::requestState(Call(kMost, port), channel, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Diag_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                  Qor_Most_Diag_GetStateCallback_t callback) try {
  return qor::most::addStateCallback(Call(kMost, port), channel, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Diag_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeStateCallback(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}
