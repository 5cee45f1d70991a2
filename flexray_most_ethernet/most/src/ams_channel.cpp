// AMS channels: allocated (selector 0) and freed (selector 1), and their state (selector 4), synchronously and through
// the asynchronous triples.
#include <span>
#include <vector>

#include "ams.hpp"
#include "most_async.hpp"
#include "qor_most_status.h"

namespace qor::most::ams {
namespace {

constexpr uint32_t kChannelCapacity = 8, kStateCapacity = 12;
constexpr size_t kChannelAnswer = 6, kStateAnswer = 12;
constexpr uint8_t kStateBits = 0x3;
constexpr const char* kChannelAsync = "Qor_Most_Ams_GetChannel_Async";
constexpr const char* kStateAsync = "Qor_Most_Ams_GetState_Async";

kit::AsyncFamily channelFamily() { return kit::AsyncFamily(kCommand, {kAllocateChannel, 0}, 0); }
kit::AsyncFamily stateFamily(uint8_t channel) { return kit::AsyncFamily(kCommand, {kState, channel}, 0); }

// 0 with the channel, or the library's number of the failure.
struct Allocation {
  uint16_t error;
  uint8_t channel;
};
Allocation decodeAllocation(const kit::AnswerReader& answer) {
  if (!answer.has(kChannelAnswer)) return {static_cast<uint16_t>(kit::GeneralError::InvalidResponseLength), 0};
  if (answer.u8(4) == 0) return {kAmsNoFreeChannel, 0};
  return {0, answer.u8(5)};
}

uint32_t getChannel(const kit::Call& call, uint8_t* channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(channel, "channel")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, record(kAllocateChannel, 0), answer, kChannelCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  const Allocation allocation = decodeAllocation(reader);
  if (allocation.error == kAmsNoFreeChannel) return call.fail(kMost.code(kAmsNoFreeChannel));
  if (allocation.error != 0) return shortAnswer(call, reader.size());
  *channel = allocation.channel;
  return 0;
}

void channelRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const Allocation allocation = decodeAllocation(kit::AnswerReader(std::span(data, length)));
  if (allocation.error != 0) {
    kit::reportRelayFailure(port, kMost.code(allocation.error), kChannelAsync);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Ams_GetChannelCallback_t>(context)(port, allocation.channel);
}

uint32_t freeChannel(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, record(kFreeChannel, channel), answer);
}

uint32_t getState(const kit::Call& call, uint8_t channel, uint32_t* status, uint32_t* state) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, record(kState, channel), answer, kStateCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateAnswer)) return shortAnswer(call, reader.size());
  if (uint32_t code = Qor_Most_TranslateStatusFromFwToApi(call.port(), reader.u32(8), status)) return code;
  *state = reader.u8(4) & kStateBits;
  return 0;
}

void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kStateAnswer)) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kStateAsync);
    return;
  }
  uint32_t status = 0;
  if (uint32_t code = Qor_Most_TranslateStatusFromFwToApi(port, answer.u32(8), &status)) {
    kit::reportRelayFailure(port, code, kStateAsync);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Ams_GetStateCallback_t>(context)(port, answer.u8(1), status,
                                                                                 answer.u8(4) & kStateBits);
}

}  // namespace
}  // namespace qor::most::ams

using qor::kit::Call;
using qor::most::kMost;
namespace ams = qor::most::ams;

uint32_t Qor_Most_Ams_GetChannel(uint32_t port, uint8_t* channel) try {
  return ams::getChannel(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetChannel_Async(uint32_t port) try {
  return qor::most::requestAsync(Call(kMost, port), ams::channelFamily(), ams::record(ams::kAllocateChannel, 0));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetChannel_Async_AddCallback(uint32_t port, Qor_Most_Ams_GetChannelCallback_t callback) try {
  return qor::most::addAsyncCallback(Call(kMost, port), ams::channelFamily(), ams::channelRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetChannel_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removeAsyncCallback(Call(kMost, port), ams::channelFamily());
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_FreeChannel(uint32_t port, uint8_t channel) try {
  return ams::freeChannel(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetState(uint32_t port, uint8_t channel, uint32_t* status, uint32_t* state) try {
  return ams::getState(Call(kMost, port), channel, status, state);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetState_Async(uint32_t port, uint8_t channel) try {
  return qor::most::requestAsync(Call(kMost, port), ams::stateFamily(channel), ams::record(ams::kState, channel));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetState_Async_AddCallback(uint32_t port, uint8_t channel,
                                                 Qor_Most_Ams_GetStateCallback_t callback) try {
  return qor::most::addAsyncCallback(Call(kMost, port), ams::stateFamily(channel), ams::stateRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetState_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeAsyncCallback(Call(kMost, port), ams::stateFamily(channel));
} catch (...) {
  return kMost.failedCall(port);
}
