// Broadcast transmissions of a transport-protocol channel: started with their data (0x8A), stopped (0x8C) and their
// data read back (0x8B), synchronously and through the asynchronous triple.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "can_library.hpp"
#include "qor_can_tp.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/async_family.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kStartCommand = 0x8A;
constexpr uint8_t kDataCommand = 0x8B;
constexpr uint8_t kStopCommand = 0x8C;
constexpr size_t kHeadBytes = 4;  // {channel, mode, u16 n} out, {channel, u8, u16 n} back
constexpr size_t kCountOffset = 2;
constexpr const char* kAsyncFunction = "Qor_Can_Tp_Broadcast_GetData_Async";

kit::AsyncFamily dataFamily(uint8_t channel) { return kit::AsyncFamily(kDataCommand, {channel}, 0); }

kit::RecordWriter channelRecord(uint8_t channel) {
  kit::RecordWriter record(4);
  record.u8(channel).zeros(3);
  return record;
}

// The data of an answer, as many of the bytes it counts as arrived; nothing without a whole head.
std::span<const uint8_t> broadcastData(const kit::AnswerReader& answer) {
  if (!answer.has(kHeadBytes)) return {};
  return answer.bytes(kHeadBytes, answer.itemsThatFit(answer.u16(kCountOffset), kHeadBytes, 1));
}

uint32_t startTransmission(const kit::Call& call, uint8_t channel, uint8_t mode, const uint8_t* data, uint32_t n) {
  if (uint32_t code = checkCanInterface(call)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (uint64_t{n} + kHeadBytes > parameterLength) return call.fail(kit::GeneralError::InvalidDataLength);
  if (mode > QOR_CAN_TP_MAX_BROADCAST_MODE) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  if (n != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  kit::RecordWriter record(parameterLength);
  record.u8(channel).u8(mode).u16(static_cast<uint16_t>(n)).bytes(data, n);
  return call.send(kStartCommand, record);
}

uint32_t stopTransmission(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return call.send(kStopCommand, channelRecord(channel));
}

uint32_t getData(const kit::Call& call, uint8_t channel, uint8_t* buffer, uint32_t* length) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(length, "length")) return code;
  if (*length != 0) {
    if (uint32_t code = call.checkPointer(buffer, "buffer")) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kDataCommand, 1, channelRecord(channel), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kHeadBytes)) return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  const std::span<const uint8_t> data = broadcastData(reader);
  if (data.size() > *length) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %zu", data.size());
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  *length = static_cast<uint32_t>(data.size());
  return 0;
}

uint32_t requestData(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return dataFamily(channel).request(call, channelRecord(channel));
}

// On the port's callback thread.
void dataRelay(uint32_t port, void* context, const uint8_t* bytes, uint32_t length) {
  const kit::AnswerReader reader(std::span<const uint8_t>(bytes, length));
  if (!reader.has(kHeadBytes)) {
    kit::reportRelayFailure(port, kCan.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  const std::span<const uint8_t> data = broadcastData(reader);
  kit::AsyncFamily::applicationCallback<Qor_Can_Tp_BroadcastDataCallback_t>(context)(
      port, reader.u8(0), data.data(), static_cast<uint16_t>(data.size()));
}

uint32_t addDataCallback(const kit::Call& call, uint8_t channel, Qor_Can_Tp_BroadcastDataCallback_t callback) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return dataFamily(channel).add(call.port(), dataRelay, callback);
}

uint32_t removeDataCallback(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return dataFamily(channel).remove(call.port());
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Tp_Broadcast_StartTransmission(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                                uint32_t n) try {
  return qor::can::startTransmission(Call(kCan, port), channel, mode, data, n);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Broadcast_StopTransmission(uint32_t port, uint8_t channel) try {
  return qor::can::stopTransmission(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Broadcast_GetData(uint32_t port, uint8_t channel, uint8_t* buffer, uint32_t* length) try {
  return qor::can::getData(Call(kCan, port), channel, buffer, length);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Broadcast_GetData_Async(uint32_t port, uint8_t channel) try {
  return qor::can::requestData(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Broadcast_GetData_Async_AddCallback(uint32_t port, uint8_t channel,
                                                        Qor_Can_Tp_BroadcastDataCallback_t callback) try {
  return qor::can::addDataCallback(Call(kCan, port), channel, callback);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Broadcast_GetData_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::can::removeDataCallback(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}
