// The waiting functions of a direct transport channel: a first step, then the channel's state polled until the
// transfer is done or the time is up. A poll that finds the transfer done ends the wait successfully, however late;
// a failing poll ends it with its code.
#include <optional>

#include "qor_kit/poll.hpp"
#include "qor_most_tp_direct.h"
#include "tp_direct.hpp"

namespace qor::most::tp_direct {
namespace {

constexpr uint8_t kStateStopped = 1, kStateStarting = 2, kStateStarted = 3;

struct Poll {
  uint8_t state;
  bool busy;
};

// The state with flag 0; the caller's result receives the result byte.
uint32_t pollState(uint32_t port, uint8_t channel, uint32_t* result, Poll& poll) {
  uint8_t tpType = 0, tpDirectType = 0;
  uint32_t flags = 0;
  const uint32_t code =
      Qor_Most_TpDirect_GetState(port, channel, 0, result, &tpType, &tpDirectType, &poll.state, &flags);
  poll.busy = (flags & QOR_MOST_TP_DIRECT_BUSY) != 0;
  return code;
}

template <class Done>
uint32_t waitUntil(const kit::Call& call, uint8_t channel, uint32_t timeoutMs, uint32_t* result, Done done,
                   const char* timeoutText) {
  const std::optional<uint32_t> code = kit::pollUntil(timeoutMs, 0, [&]() -> std::optional<uint32_t> {
    Poll poll{};
    if (uint32_t failed = pollState(call.port(), channel, result, poll)) return failed;
    if (done(poll)) return 0;
    return std::nullopt;
  });
  if (!code) return call.fail(kit::GeneralError::UserTimeout, "%s", timeoutText);
  return *code;
}

uint32_t request(const kit::Call& call, uint8_t channel, uint32_t timeoutMs, uint8_t mode, const uint8_t* data,
                 uint32_t length, uint32_t* result) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = Qor_Most_TpDirect_QueueRequest(call.port(), channel, mode, data, length)) return code;
  return waitUntil(call, channel, timeoutMs, result, [](const Poll& poll) { return !poll.busy; }, "TP TX timeout!");
}

uint32_t stop(const kit::Call& call, uint8_t channel, uint32_t timeoutMs, uint8_t mode, const uint8_t* data,
              uint32_t length, uint32_t* result) {
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = Qor_Most_TpDirect_InitiateStop(call.port(), channel, mode, data, length)) return code;
  return waitUntil(
      call, channel, timeoutMs, result, [](const Poll& poll) { return poll.state == kStateStopped && !poll.busy; },
      "TP timeout!");
}

uint32_t start(const kit::Call& call, uint8_t channel, uint32_t timeoutMs, uint8_t mode, const uint8_t* data,
               uint32_t length, uint32_t* result) {
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  Poll first{};
  if (uint32_t code = pollState(call.port(), channel, result, first)) return code;
  if (first.state == kStateStarted) {
    if (uint32_t code = stop(call, channel, timeoutMs, 0, nullptr, 0, result)) return code;
  }
  if (uint32_t code = Qor_Most_TpDirect_InitiateStart(call.port(), channel, mode, data, length)) return code;
  return waitUntil(
      call, channel, timeoutMs, result, [](const Poll& poll) { return poll.state != kStateStarting && !poll.busy; },
      "TP timeout!");
}

}  // namespace
}  // namespace qor::most::tp_direct

using qor::kit::Call;
using qor::most::kMost;
namespace tp = qor::most::tp_direct;

uint32_t Qor_Most_TpDirect_Request(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode, const uint8_t* data,
                                   uint32_t length, uint32_t* result) try {
  return tp::request(Call(kMost, port), channel, timeout, mode, data, length, result);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_Start(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode, const uint8_t* data,
                                 uint32_t length, uint32_t* result) try {
  return tp::start(Call(kMost, port), channel, timeout, mode, data, length, result);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_Stop(uint32_t port, uint8_t channel, uint32_t timeout, uint8_t mode, const uint8_t* data,
                                uint32_t length, uint32_t* result) try {
  return tp::stop(Call(kMost, port), channel, timeout, mode, data, length, result);
} catch (...) {
  return kMost.failedCall(port);
}
