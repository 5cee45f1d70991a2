// Transport-protocol channels allocated (synchronous and through the asynchronous triple), freed and reset.
#include <span>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_tp.h"
#include "tp_requests.hpp"

namespace qor::most {
namespace {

constexpr uint32_t kChannelAnswerCapacity = 8;
constexpr size_t kChannelAnswerBytes = 6;  // the head, then {found, channel}
constexpr size_t kFoundOffset = 4, kChannelOffset = 5;
constexpr const char* kAsyncFunction = "Qor_Most_Tp_GetChannel_Async";

const kit::AsyncFamily kChannelFamily(kTpCommand, {static_cast<uint8_t>(TpSelector::GetChannel), 0}, 0);

uint32_t getChannel(const kit::Call& call, uint8_t* channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(channel, "channel")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kTpCommand, kTpControlBytes, tpRecord(TpSelector::GetChannel, 0), answer,
                                    kChannelAnswerCapacity)) {
    return code;
  }
  if (answer.size() < kChannelAnswerBytes) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  }
  if (answer[kFoundOffset] == 0) return call.fail(kMost.code(kTpNoFreeChannel));
  *channel = answer[kChannelOffset];
  return 0;
}

uint32_t requestChannel(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return kChannelFamily.request(call, tpRecord(TpSelector::GetChannel, 0));
}

// On the port's callback thread.
void channelRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kChannelAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  if (answer[kFoundOffset] == 0) {
    kit::reportRelayFailure(port, kMost.code(kTpNoFreeChannel), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Tp_GetChannelCallback_t>(context)(port, answer[kChannelOffset]);
}

uint32_t addChannelCallback(const kit::Call& call, Qor_Most_Tp_GetChannelCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return kChannelFamily.add(call.port(), channelRelay, callback);
}

uint32_t removeChannelCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return kChannelFamily.remove(call.port());
}

uint32_t sendForChannel(const kit::Call& call, TpSelector selector, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return sendTpRecord(call, tpRecord(selector, channel));
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;
using qor::most::TpSelector;

uint32_t Qor_Most_Tp_GetChannel(uint32_t port, uint8_t* channel) try {
  return qor::most::getChannel(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_GetChannel_Async(uint32_t port) try {
  return qor::most::requestChannel(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_GetChannel_Async_AddCallback(uint32_t port, Qor_Most_Tp_GetChannelCallback_t callback) try {
  return qor::most::addChannelCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_GetChannel_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removeChannelCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_FreeChannel(uint32_t port, uint8_t channel) try {
  return qor::most::sendForChannel(Call(kMost, port), TpSelector::FreeChannel, channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Reset(uint32_t port, uint8_t channel) try {
  return qor::most::sendForChannel(Call(kMost, port), TpSelector::Reset, channel);
} catch (...) {
  return kMost.failedCall(port);
}
