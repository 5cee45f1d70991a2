// Transport-protocol channels handed out (0x82, synchronous and through the asynchronous triple), returned (0x83)
// and given a monitor filter (0x8D).
#include <span>
#include <vector>

#include "can_library.hpp"
#include "qor_can_tp.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/async_family.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kGetChannelCommand = 0x82;
constexpr uint8_t kFreeChannelCommand = 0x83;
constexpr uint8_t kMonitorFilterCommand = 0x8D;
constexpr uint32_t kChannelAnswerCapacity = 4;
constexpr size_t kChannelAnswerBytes = 2;  // {found, channel}
constexpr uint8_t kMonitorFilterControlBytes = 4;
constexpr uint32_t kMonitorFilterAnswerCapacity = 4;
constexpr const char* kAsyncFunction = "Qor_Can_Tp_GetChannel_Async";

const kit::AsyncFamily kChannelFamily(kGetChannelCommand, {}, 0);

kit::RecordWriter channelRecord(uint8_t channel) {
  kit::RecordWriter record(4);
  record.u8(channel).zeros(3);
  return record;
}

uint32_t getChannel(const kit::Call& call, uint8_t* channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(channel, "channel")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kGetChannelCommand, 0, kit::RecordWriter(0), answer, kChannelAnswerCapacity)) {
    return code;
  }
  if (answer.size() < kChannelAnswerBytes) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  }
  *channel = answer[1];
  // Recorded like every failure, so the last error's text is this call's.
  return answer[0] == 0 ? call.fail(kCan.code(kTpNoFreeChannel)) : 0;
}

uint32_t requestChannel(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return kChannelFamily.request(call, kit::RecordWriter(0));
}

// On the port's callback thread.
void channelRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kChannelAnswerBytes) {
    kit::reportRelayFailure(port, kCan.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  if (answer[0] == 0) {
    kit::reportRelayFailure(port, kCan.code(kTpNoFreeChannel), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Can_Tp_ChannelCallback_t>(context)(port, answer[1]);
}

uint32_t addChannelCallback(const kit::Call& call, Qor_Can_Tp_ChannelCallback_t callback) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return kChannelFamily.add(call.port(), channelRelay, callback);
}

uint32_t removeChannelCallback(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return kChannelFamily.remove(call.port());
}

uint32_t freeChannel(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return call.send(kFreeChannelCommand, channelRecord(channel));
}

uint32_t setMonitorFilter(const kit::Call& call, uint8_t channel, uint8_t enable) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (enable > 1) return call.fail(kit::GeneralError::UnknownMode, "%u", enable);
  kit::RecordWriter record(8);
  record.u8(channel).zeros(3).u8(enable).zeros(3);
  std::vector<uint8_t> answer;
  return call.exchange(kMonitorFilterCommand, kMonitorFilterControlBytes, record, answer,
                       kMonitorFilterAnswerCapacity);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Tp_GetChannel(uint32_t port, uint8_t* channel) try {
  return qor::can::getChannel(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_GetChannel_Async(uint32_t port) try {
  return qor::can::requestChannel(Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_GetChannel_Async_AddCallback(uint32_t port, Qor_Can_Tp_ChannelCallback_t callback) try {
  return qor::can::addChannelCallback(Call(kCan, port), callback);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_GetChannel_Async_RemoveCallback(uint32_t port) try {
  return qor::can::removeChannelCallback(Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_FreeChannel(uint32_t port, uint8_t channel) try {
  return qor::can::freeChannel(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_SetMonitorFilter(uint32_t port, uint8_t channel, uint8_t enable) try {
  return qor::can::setMonitorFilter(Call(kCan, port), channel, enable);
} catch (...) {
  return kCan.failedCall(port);
}
