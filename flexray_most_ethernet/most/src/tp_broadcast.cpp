// Broadcast transmissions of a transport-protocol channel: started with their data (selector 4), stopped (6) and
// their data read (5), synchronously and through the asynchronous triple.
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_tp.h"
#include "tp_requests.hpp"

namespace qor::most {
namespace {

constexpr size_t kStartHeadBytes = 8;  // the head, then {mode, 0, u16 length}
constexpr size_t kDataHeadBytes = 8;   // the head, then {u16 length, u16}
constexpr size_t kDataLengthOffset = 4;
constexpr size_t kAnswerChannelOffset = 1;
constexpr const char* kAsyncFunction = "Qor_Most_Tp_Broadcast_GetData_Async";

kit::AsyncFamily dataFamily(uint8_t channel) {
  return kit::AsyncFamily(kTpCommand, {static_cast<uint8_t>(TpSelector::BroadcastData), channel}, 0);
}

// The data of an answer; nothing when the answer is shorter than its head or than the length it gives.
std::optional<std::span<const uint8_t>> broadcastData(std::span<const uint8_t> answer) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kDataHeadBytes)) return std::nullopt;
  const std::span<const uint8_t> data = reader.bytes(kDataHeadBytes, reader.u16(kDataLengthOffset));
  if (!reader.complete()) return std::nullopt;
  return data;
}

uint32_t startTransmission(const kit::Call& call, uint8_t channel, uint8_t mode, const uint8_t* data,
                           uint32_t length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (uint64_t{length} + kStartHeadBytes > parameterLength || length > QOR_MOST_TP_MAX_BROADCAST_LENGTH) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", length);
  }
  if (mode > QOR_MOST_TP_MAX_BROADCAST_MODE) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  if (length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  kit::RecordWriter record = tpRecord(TpSelector::BroadcastStart, channel, kStartHeadBytes + length);
  record.u8(mode).u8(0).u16(static_cast<uint16_t>(length)).bytes(data, length);
  return sendTpRecord(call, record);
}

uint32_t stopTransmission(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return sendTpRecord(call, tpRecord(TpSelector::BroadcastStop, channel));
}

uint32_t getData(const kit::Call& call, uint8_t channel, uint8_t* buffer, uint32_t* length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(length, "length")) return code;
  if (*length != 0) {
    if (uint32_t code = call.checkPointer(buffer, "data")) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kTpCommand, kTpControlBytes, tpRecord(TpSelector::BroadcastData, channel),
                                    answer)) {
    return code;
  }
  const std::optional<std::span<const uint8_t>> data = broadcastData(answer);
  if (!data) return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", answer.size());
  if (data->size() > *length) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %zu", data->size());
  }
  *length = static_cast<uint32_t>(data->size());
  if (!data->empty()) std::memcpy(buffer, data->data(), data->size());
  return 0;
}

uint32_t requestData(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return dataFamily(channel).request(call, tpRecord(TpSelector::BroadcastData, channel));
}

// On the port's callback thread.
void dataRelay(uint32_t port, void* context, const uint8_t* bytes, uint32_t length) {
  const std::span<const uint8_t> answer(bytes, length);
  const std::optional<std::span<const uint8_t>> data = broadcastData(answer);
  if (!data) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Tp_Broadcast_GetDataCallback_t>(context)(
      port, answer[kAnswerChannelOffset], data->data(), static_cast<uint16_t>(data->size()));
}

uint32_t addDataCallback(const kit::Call& call, uint8_t channel, Qor_Most_Tp_Broadcast_GetDataCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return dataFamily(channel).add(call.port(), dataRelay, callback);
}

uint32_t removeDataCallback(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return dataFamily(channel).remove(call.port());
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Tp_Broadcast_StartTransmission(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                                 uint32_t length) try {
  return qor::most::startTransmission(Call(kMost, port), channel, mode, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Broadcast_GetData(uint32_t port, uint8_t channel, uint8_t* data, uint32_t* length) try {
  return qor::most::getData(Call(kMost, port), channel, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Broadcast_GetData_Async(uint32_t port, uint8_t channel) try {
  return qor::most::requestData(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Broadcast_GetData_Async_AddCallback(uint32_t port, uint8_t channel,
                                                         Qor_Most_Tp_Broadcast_GetDataCallback_t callback) try {
  return qor::most::addDataCallback(Call(kMost, port), channel, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Broadcast_GetData_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeDataCallback(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Broadcast_StopTransmission(uint32_t port, uint8_t channel) try {
  return qor::most::stopTransmission(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}
