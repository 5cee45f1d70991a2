// The node's protocol states, the media access test symbols and the controller module's information (command
// 0x20). Every answer is read only as far as it arrived: a shorter one is refused and writes nothing.
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_node.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {
namespace {

enum SubFunction : uint32_t {
  kModuleInfo = 16,
  kNodeState = 18,
  kMtsSend = 20,
  kMtsState = 21,
};

constexpr size_t kNodeStateBytes = 14, kMtsStateBytes = 5, kModuleInfoBytes = 6;

template <class T>
void store(T* output, T value) {
  if (output) *output = value;
}

// A state of the answer: stored when within its range, else "invalid response parameter" naming it.
uint32_t storeState(const kit::Call& call, uint8_t* output, uint8_t state, uint8_t maxState, const char* format) {
  if (state > maxState) return call.fail(kit::GeneralError::InvalidResponseParameter, format, state);
  store(output, state);
  return 0;
}

uint32_t nodeState(const kit::Call& call, uint8_t* pocState, uint8_t* syncState, uint8_t* wakeupState,
                   uint32_t* firstStatus, uint32_t* secondStatus) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(kNodeState);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kNodeStateBytes)) return call.shortAnswer(reader);
  if (uint32_t code =
          storeState(call, pocState, reader.u8(4), QOR_FLEXRAY_MAX_POC_STATE, "pocState '%02x' is unknown")) {
    return code;
  }
  if (uint32_t code =
          storeState(call, syncState, reader.u8(6), QOR_FLEXRAY_MAX_SYNC_STATE, "syncState '%04x' is unknown")) {
    return code;
  }
  if (uint32_t code = storeState(call, wakeupState, reader.u8(8), QOR_FLEXRAY_MAX_WAKEUP_STATE,
                                 "wakeupState '%04x' is unknown")) {
    return code;
  }
  store<uint32_t>(firstStatus, reader.u16(10) & QOR_FLEXRAY_STATUS_WORD_MASK);
  store<uint32_t>(secondStatus, reader.u16(12) & QOR_FLEXRAY_STATUS_WORD_MASK);
  return 0;
}

uint32_t mtsSend(const kit::Call& call, uint8_t channel, uint8_t firstValue, uint8_t secondValue) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkChannel(call, channel)) return code;
  kit::RecordWriter record(8);
  record.u32(kMtsSend).u8(channel).u8(firstValue).u8(secondValue).u8(0);
  return exchangeController(call, record);
}

// Whatever fails after the request, the state reads as the largest one.
uint32_t mtsState(const kit::Call& call, uint8_t channel, uint8_t* mtsState) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkChannel(call, channel)) return code;
  if (uint32_t code = call.checkPointer(mtsState, "mtsState")) return code;
  kit::RecordWriter record(8);
  record.u32(kMtsState).u8(channel).zeros(3);
  std::vector<uint8_t> answer;
  *mtsState = QOR_FLEXRAY_MAX_MTS_STATE;
  if (uint32_t code = exchangeController(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kMtsStateBytes)) return call.shortAnswer(reader);
  return storeState(call, mtsState, reader.u8(4), QOR_FLEXRAY_MAX_MTS_STATE, "mtsState '%02x' is unknown");
}

uint32_t moduleInfo(const kit::Call& call, uint8_t* first, uint8_t* second) {
  store<uint8_t>(first, 0);
  store<uint8_t>(second, 0);
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(first, "first")) return code;
  if (uint32_t code = call.checkPointer(second, "second")) return code;
  kit::RecordWriter record(4);
  record.u32(kModuleInfo);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kModuleInfoBytes)) return call.shortAnswer(reader);
  *first = reader.u8(4);
  *second = reader.u8(5);
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;
namespace fr = qor::flexray;

uint32_t Qor_FlexRay_Node_GetState(uint32_t port, uint8_t* pocState, uint8_t* syncState, uint8_t* wakeupState,
                                   uint32_t* firstStatus, uint32_t* secondStatus) try {
  return fr::nodeState(Call(kFlexRay, port), pocState, syncState, wakeupState, firstStatus, secondStatus);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_MTS_Send(uint32_t port, uint8_t channel, uint8_t firstValue, uint8_t secondValue) try {
  return fr::mtsSend(Call(kFlexRay, port), channel, firstValue, secondValue);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_MTS_GetState(uint32_t port, uint8_t channel, uint8_t* mtsState) try {
  return fr::mtsState(Call(kFlexRay, port), channel, mtsState);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Module_GetInfo(uint32_t port, uint8_t* first, uint8_t* second) try {
  return fr::moduleInfo(Call(kFlexRay, port), first, second);
} catch (...) {
  return kFlexRay.failedCall(port);
}
