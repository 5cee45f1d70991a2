// Reading the ring break diagnosis (command 0x25): the port's diagnosis state and the responses collected,
// synchronous and through the asynchronous triples. Both read only the bytes that arrived.
#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_rbd.h"
#include "rbd_command.hpp"

namespace qor::most {
namespace {

constexpr uint32_t kPortStateCapacity = 36;
constexpr size_t kPortStateAnswerBytes = 33;
constexpr size_t kResponsesHeadBytes = 12;
constexpr const char* kPortStateFunction = "Qor_Most_Rbd_GetPortState_Async";
constexpr const char* kResponsesFunction = "Qor_Most_Rbd_GetResponses_Async";

struct PortState {
  uint8_t rbdState;
  uint32_t state;
  uint64_t values[3];
};

// The answer holds kPortStateAnswerBytes at least.
PortState decodePortState(std::span<const uint8_t> answer) {
  const kit::AnswerReader reader(answer);
  return {reader.u8(32), reader.u8(4) & QOR_MOST_RBD_PORT_STATE_BITS, {reader.u64(8), reader.u64(16), reader.u64(24)}};
}

struct Responses {
  uint32_t valid;
  uint8_t state;
  uint8_t lockState;
  // The announced count cut to the response bytes that arrived.
  std::span<const uint8_t> bytes;
};

// The answer holds kResponsesHeadBytes at least.
Responses decodeResponses(std::span<const uint8_t> answer) {
  const size_t count = std::min<size_t>(answer[10], answer.size() - kResponsesHeadBytes);
  return {answer[4] & 1u, answer[8], answer[9], answer.subspan(kResponsesHeadBytes, count)};
}

bool knownStates(const Responses& responses) {
  return responses.state <= QOR_MOST_RBD_MAX_STATE && responses.lockState <= QOR_MOST_RBD_MAX_LOCK_STATE;
}

kit::AsyncFamily portStateFamily() { return kit::AsyncFamily(kRbdCommand, {kRbdPortState}, 0); }
kit::AsyncFamily responsesFamily() { return kit::AsyncFamily(kRbdCommand, {kRbdResponses}, 0); }

// Sends the selector's request; answer gets at least minimum bytes.
uint32_t read(const kit::Call& call, RbdSelector selector, uint32_t capacity, size_t minimum,
              std::vector<uint8_t>& answer) {
  if (uint32_t code = call.exchange(kRbdCommand, 1, rbdRecord(4, selector), answer, capacity)) return code;
  if (answer.size() < minimum) return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  return 0;
}

uint32_t getPortState(const kit::Call& call, uint8_t* rbdState, uint32_t* state, uint64_t* value1, uint64_t* value2,
                      uint64_t* value3) {
  if (uint32_t code = checkMostInterface(call)) return code;
  for (const auto& [pointer, name] : {std::pair<const void*, const char*>{rbdState, "rbdState"}, {state, "state"},
                                      {value1, "value1"}, {value2, "value2"}, {value3, "value3"}}) {
    if (uint32_t code = call.checkPointer(pointer, name)) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = read(call, kRbdPortState, kPortStateCapacity, kPortStateAnswerBytes, answer)) return code;
  const PortState decoded = decodePortState(answer);
  *state = decoded.state;
  *value1 = decoded.values[0];
  *value2 = decoded.values[1];
  *value3 = decoded.values[2];
  // The text's spelling is kept: callers may compare it.
  if (decoded.rbdState > QOR_MOST_RBD_MAX_STATE) {
    return call.fail(kMost.code(kRbdInvalidState), "revceived unknown rbd state '%d' from firmware", decoded.rbdState);
  }
  *rbdState = decoded.rbdState;
  return 0;
}

uint32_t getResponses(const kit::Call& call, uint32_t* valid, uint8_t* state, uint8_t* lockState, uint8_t* count,
                      uint8_t* responses) {
  if (uint32_t code = checkMostInterface(call)) return code;
  for (const auto& [pointer, name] : {std::pair<const void*, const char*>{valid, "valid"}, {state, "state"},
                                      {lockState, "lockState"}, {count, "count"}}) {
    if (uint32_t code = call.checkPointer(pointer, name)) return code;
  }
  if (*count != 0) {
    if (uint32_t code = call.checkPointer(responses, "responses")) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = read(call, kRbdResponses, kRbdAnswerCapacity, kResponsesHeadBytes, answer)) return code;
  const Responses decoded = decodeResponses(answer);
  if (decoded.bytes.size() > *count) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %zu", decoded.bytes.size());
  }
  *valid = decoded.valid;
  if (decoded.valid != 0 && *count != 0) std::ranges::copy(decoded.bytes, responses);
  if (decoded.state > QOR_MOST_RBD_MAX_STATE) {
    return call.fail(kMost.code(kRbdInvalidState), "received unknown state '%d'", decoded.state);
  }
  if (decoded.lockState > QOR_MOST_RBD_MAX_LOCK_STATE) {
    return call.fail(kMost.code(kRbdInvalidState), "received unknown lock state '%d'", decoded.lockState);
  }
  *state = decoded.state;
  *lockState = decoded.lockState;
  *count = static_cast<uint8_t>(decoded.bytes.size());
  return 0;
}

// Relays, on the port's callback thread.
void portStateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kPortStateAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kPortStateFunction);
    return;
  }
  const PortState decoded = decodePortState(answer);
  if (decoded.rbdState > QOR_MOST_RBD_MAX_STATE) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kPortStateFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Rbd_GetPortStateCallback_t>(context)(
      port, decoded.rbdState, decoded.state, decoded.values[0], decoded.values[1], decoded.values[2]);
}

void responsesRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kResponsesHeadBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kResponsesFunction);
    return;
  }
  const Responses decoded = decodeResponses(answer);
  if (!knownStates(decoded)) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kResponsesFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Rbd_GetResponsesCallback_t>(context)(
      port, decoded.valid, decoded.state, decoded.lockState, static_cast<uint8_t>(decoded.bytes.size()),
      decoded.bytes.data());
}

uint32_t request(const kit::Call& call, const kit::AsyncFamily& family, RbdSelector selector) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return family.request(call, rbdRecord(4, selector));
}

template <class ApplicationCallback>
uint32_t addCallback(const kit::Call& call, const kit::AsyncFamily& family, Qor_AsyncCommunication_Callback_t relay,
                     ApplicationCallback callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return family.add(call.port(), relay, callback);
}

uint32_t removeCallback(const kit::Call& call, const kit::AsyncFamily& family) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return family.remove(call.port());
}

}  // namespace
}  // namespace qor::most

using namespace qor::most;
using qor::kit::Call;

uint32_t Qor_Most_Rbd_GetPortState(uint32_t port, uint8_t* rbdState, uint32_t* state, uint64_t* value1,
                                   uint64_t* value2, uint64_t* value3) try {
  return getPortState(Call(kMost, port), rbdState, state, value1, value2, value3);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetPortState_Async(uint32_t port) try {
  return request(Call(kMost, port), portStateFamily(), kRbdPortState);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetPortState_Async_AddCallback(uint32_t port,
                                                     Qor_Most_Rbd_GetPortStateCallback_t callback) try {
  return addCallback(Call(kMost, port), portStateFamily(), portStateRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetPortState_Async_RemoveCallback(uint32_t port) try {
  return removeCallback(Call(kMost, port), portStateFamily());
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetResponses(uint32_t port, uint32_t* valid, uint8_t* state, uint8_t* lockState, uint8_t* count,
                                   uint8_t* responses) try {
  return getResponses(Call(kMost, port), valid, state, lockState, count, responses);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetResponses_Async(uint32_t port) try {
  return request(Call(kMost, port), responsesFamily(), kRbdResponses);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetResponses_Async_AddCallback(uint32_t port,
                                                     Qor_Most_Rbd_GetResponsesCallback_t callback) try {
  return addCallback(Call(kMost, port), responsesFamily(), responsesRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Rbd_GetResponses_Async_RemoveCallback(uint32_t port) try {
  return removeCallback(Call(kMost, port), responsesFamily());
} catch (...) {
  return kMost.failedCall(port);
}
