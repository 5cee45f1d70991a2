// The INIC's state (command 0x21, selector 0), synchronous and through the asynchronous triple: five values, each
// checked against its range in the order of the answer.
#include <array>
#include <span>
#include <vector>

#include "inic_report.hpp"
#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_inic.h"
#include "qor_most_node.h"

namespace qor::most {
namespace {

constexpr uint8_t kReadState = 0;
constexpr uint32_t kAnswerCapacity = 12;
constexpr size_t kAnswerBytes = 9;
constexpr const char* kAsyncFunction = "Qor_Most_Inic_GetState_Async";

struct StateField {
  size_t offset;
  uint8_t highest;
  const char* name;
};

// In the order they are checked and stored.
constexpr std::array<StateField, 5> kFields = {{
    {4, QOR_MOST_INIC_LOCK_STATE_MAX, "lock state"},
    {5, QOR_MOST_INIC_EHCI_STATE_MAX, "ehci state"},
    {6, QOR_MOST_INIC_NI_STATE_MAX, "ni state"},
    {7, QOR_MOST_INIC_NC_STATE_MAX, "nc state"},
    {8, QOR_MOST_DEVICE_MODE_MAX, "device mode"},
}};

kit::AsyncFamily stateFamily() { return kit::AsyncFamily(kInicCommand, {kReadState}, 0); }

kit::RecordWriter stateRequest() {
  kit::RecordWriter record(4);
  record.u8(kReadState).u8(0).u16(0);
  return record;
}

// Stores the values in order up to the first out of range, which it returns; nullptr when all are stored. The answer
// holds kAnswerBytes at least.
const StateField* decodeState(std::span<const uint8_t> answer, const std::array<uint8_t*, 5>& values) {
  for (size_t i = 0; i < kFields.size(); ++i) {
    if (answer[kFields[i].offset] > kFields[i].highest) return &kFields[i];
    *values[i] = answer[kFields[i].offset];
  }
  return nullptr;
}

uint32_t getState(const kit::Call& call, const std::array<uint8_t*, 5>& values) {
  if (uint32_t code = checkMostInterface(call)) return code;
  for (size_t i = 0; i < kFields.size(); ++i) {
    if (uint32_t code = call.checkPointer(values[i], kFields[i].name)) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kInicCommand, 1, stateRequest(), answer, kAnswerCapacity)) return code;
  if (answer.size() < kAnswerBytes) return shortAnswer(call, answer.size());
  if (const StateField* bad = decodeState(answer, values)) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "%s '%d' in firmware response is unknown", bad->name,
                     answer[bad->offset]);
  }
  return 0;
}

uint32_t requestState(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return stateFamily().request(call, stateRequest());
}

// On the port's callback thread.
void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  std::array<uint8_t, 5> state{};
  if (decodeState(answer, {&state[0], &state[1], &state[2], &state[3], &state[4]}) != nullptr) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Inic_GetStateCallback_t>(context)(port, state[0], state[1],
                                                                                   state[2], state[3], state[4]);
}

uint32_t addStateCallback(const kit::Call& call, Qor_Most_Inic_GetStateCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return stateFamily().add(call.port(), stateRelay, callback);
}

uint32_t removeStateCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return stateFamily().remove(call.port());
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Inic_GetState(uint32_t port, uint8_t* lockState, uint8_t* ehciState, uint8_t* niState,
                                uint8_t* ncState, uint8_t* deviceMode) try {
  return qor::most::getState(Call(kMost, port), {lockState, ehciState, niState, ncState, deviceMode});
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetState_Async(uint32_t port) try {
  return qor::most::requestState(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetState_Async_AddCallback(uint32_t port, Qor_Most_Inic_GetStateCallback_t callback) try {
  return qor::most::addStateCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetState_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removeStateCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}
