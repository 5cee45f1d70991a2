// A direct transport channel's state (selector 5), synchronously and through the asynchronous triple: flags, the
// state, the result byte and the two transport types, each checked against its range in the order they are stored.
#include <iterator>
#include <span>
#include <utility>
#include <vector>

#include "most_async.hpp"
#include "qor_most_tp_direct.h"
#include "tp_direct.hpp"

namespace qor::most::tp_direct {
namespace {

constexpr uint32_t kStateCapacity = 12;
constexpr size_t kStateAnswer = 12;
constexpr uint32_t kFlagBits = 0x3;
constexpr uint32_t kHighestFlag = 1;
constexpr const char* kStateAsync = "Qor_Most_TpDirect_GetState_Async";

struct TpState {
  uint32_t flags;
  uint8_t state, tpType, tpDirectType, result;
};

struct RangedField {
  size_t offset;
  uint8_t highest;
  const char* name;
  uint8_t TpState::*field;
};

// In the order they are checked and stored; the result byte (9) after them.
constexpr RangedField kRangedFields[] = {
    {8, QOR_MOST_TP_DIRECT_STATE_MAX, "state", &TpState::state},
    {10, QOR_MOST_TP_DIRECT_TP_TYPE_MAX, "tp type", &TpState::tpType},
    {11, QOR_MOST_TP_DIRECT_TYPE_MAX, "tp direct type", &TpState::tpDirectType},
};
constexpr size_t kResultOffset = 9;

kit::AsyncFamily stateFamily(uint8_t channel) { return kit::AsyncFamily(kCommand, {kState, channel}, 0); }

kit::RecordWriter stateRequest(uint8_t channel, uint32_t flag) {
  kit::RecordWriter request = record(kState, channel, 8);
  request.u8(static_cast<uint8_t>(flag)).zeros(3);
  return request;
}

// Decodes in order up to the first field out of range, which it returns; nullptr when all are decoded. The answer
// holds kStateAnswer bytes at least.
const RangedField* decodeState(const kit::AnswerReader& answer, TpState& decoded) {
  decoded.flags = answer.u8(4) & kFlagBits;
  for (const RangedField& field : kRangedFields) {
    if (answer.u8(field.offset) > field.highest) return &field;
    decoded.*field.field = answer.u8(field.offset);
  }
  decoded.result = answer.u8(kResultOffset);
  return nullptr;
}

uint32_t checkFlag(const kit::Call& call, uint32_t flag) {
  if (flag > kHighestFlag) return call.fail(kit::GeneralError::UnknownFlag, "%u", flag);
  return 0;
}

uint32_t getState(const kit::Call& call, uint8_t channel, uint32_t flag, uint32_t* result, uint8_t* tpType,
                  uint8_t* tpDirectType, uint8_t* state, uint32_t* flags) {
  if (uint32_t code = checkMostInterface(call)) return code;
  const std::pair<const void*, const char*> outputs[] = {
      {result, "result"}, {tpType, "tpType"}, {tpDirectType, "tpDirectType"}, {state, "state"}, {flags, "flags"}};
  for (const auto& [output, name] : outputs) {
    if (uint32_t code = call.checkPointer(output, name)) return code;
  }
  if (uint32_t code = checkFlag(call, flag)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, stateRequest(channel, flag), answer, kStateCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateAnswer)) return shortAnswer(call, reader.size());
  TpState decoded{};
  const RangedField* bad = decodeState(reader, decoded);
  // Stored in the decoding order up to the bad field.
  *flags = decoded.flags;
  uint8_t* fieldOutputs[] = {state, tpType, tpDirectType};
  for (size_t i = 0; i < std::size(kRangedFields) && &kRangedFields[i] != bad; ++i) {
    *fieldOutputs[i] = decoded.*kRangedFields[i].field;
  }
  if (bad != nullptr) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the %s '%d' of the response is unknown", bad->name,
                     reader.u8(bad->offset));
  }
  *result = decoded.result;
  return 0;
}

void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kStateAnswer)) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kStateAsync);
    return;
  }
  TpState decoded{};
  if (decodeState(answer, decoded) != nullptr) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseParameter), kStateAsync);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_TpDirect_GetStateCallback_t>(context)(
      port, answer.u8(1), decoded.result, decoded.tpType, decoded.tpDirectType, decoded.state, decoded.flags);
}

uint32_t requestState(const kit::Call& call, uint8_t channel, uint32_t flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkFlag(call, flag)) return code;
  return stateFamily(channel).request(call, stateRequest(channel, flag));
}

}  // namespace
}  // namespace qor::most::tp_direct

using qor::kit::Call;
using qor::most::kMost;
namespace tp = qor::most::tp_direct;

uint32_t Qor_Most_TpDirect_GetState(uint32_t port, uint8_t channel, uint32_t flag, uint32_t* result, uint8_t* tpType,
                                    uint8_t* tpDirectType, uint8_t* state, uint32_t* flags) try {
  return tp::getState(Call(kMost, port), channel, flag, result, tpType, tpDirectType, state, flags);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetState_Async(uint32_t port, uint8_t channel, uint32_t flag) try {
  return tp::requestState(Call(kMost, port), channel, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                      Qor_Most_TpDirect_GetStateCallback_t callback) try {
  return qor::most::addAsyncCallback(Call(kMost, port), tp::stateFamily(channel), tp::stateRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeAsyncCallback(Call(kMost, port), tp::stateFamily(channel));
} catch (...) {
  return kMost.failedCall(port);
}
