// Packet data and MOST Ethernet packets (command 0x24, the selector the one control byte): queueing a packet, the
// transmitter's state, and the send that waits on the host until the transmitter is idle.
#include <optional>
#include <span>
#include <vector>

#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_kit/poll.hpp"
#include "qor_most_packet_data.h"
#include "qor_most_status.h"

namespace qor::most {
namespace {

constexpr uint8_t kPacketCommand = 0x24;
constexpr uint32_t kAnswerCapacity = 12;
constexpr size_t kQueueAnswerBytes = 8, kStateAnswerBytes = 12;
constexpr size_t kPacketHeadBytes = 8, kMepHeadBytes = 12;
constexpr uint32_t kPollIntervalMs = 1, kWaitMarginMs = 3;
constexpr const char* kAsyncFunction = "Qor_Most_Pdts_GetTxState_Async";

enum Selector : uint8_t { kSendPacket = 0, kPacketState = 1, kSendMep = 2, kMepState = 3 };

kit::RecordWriter stateRequest(Selector selector) {
  kit::RecordWriter record(4);
  record.u8(selector).u8(0).u16(0);
  return record;
}

kit::AsyncFamily packetStateFamily() { return kit::AsyncFamily(kPacketCommand, {kPacketState}, 0); }

uint32_t shortAnswer(const kit::Call& call, size_t received) {
  return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", received);
}

// Sends a queue record; flag gets the send flag.
uint32_t queue(const kit::Call& call, const kit::RecordWriter& record, uint32_t* flag) {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kPacketCommand, 1, record, answer, kAnswerCapacity)) return code;
  if (answer.size() < kQueueAnswerBytes) return shortAnswer(call, answer.size());
  *flag = answer[4] & 1u;
  return 0;
}

uint32_t checkData(const kit::Call& call, const uint8_t* data, uint32_t length, const uint32_t* flag) {
  if (uint32_t code = call.checkPointer(flag, "flag")) return code;
  return length != 0 ? call.checkPointer(data, "data") : 0;
}

uint32_t queuePacket(const kit::Call& call, uint16_t target, const uint8_t* data, uint32_t length, uint32_t* flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkData(call, data, length, flag)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (length > QOR_MOST_PDTS_MAX_DATA_BYTES || uint64_t{length} + kPacketHeadBytes > parameterLength) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", length);
  }
  kit::RecordWriter record(kPacketHeadBytes + length);
  record.u8(kSendPacket).u8(0).u16(0).u16(target).u16(static_cast<uint16_t>(length)).bytes(data, length);
  return queue(call, record, flag);
}

uint32_t queueMep(const kit::Call& call, uint16_t length, const uint8_t* data, uint32_t* flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkData(call, data, length, flag)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (uint64_t{length} + kMepHeadBytes > parameterLength) {
    return call.fail(kit::GeneralError::InvalidDataLength, "too many data bytes");
  }
  kit::RecordWriter record(kMepHeadBytes + length);
  record.u8(kSendMep).zeros(7).u16(length).u16(0).bytes(data, length);
  return queue(call, record, flag);
}

// busy is written before the status is translated; the translation's code is the result.
uint32_t decodeState(uint32_t port, std::span<const uint8_t> answer, uint32_t* status, uint32_t* busy) {
  *busy = answer[4] & 1u;
  return Qor_Most_TranslateStatusFromFwToApi(port, kit::AnswerReader(answer).u32(8), status);
}

uint32_t readState(const kit::Call& call, Selector selector, uint32_t* status, uint32_t* busy) {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kPacketCommand, 1, stateRequest(selector), answer, kAnswerCapacity)) return code;
  if (answer.size() < kStateAnswerBytes) return shortAnswer(call, answer.size());
  return decodeState(call.port(), answer, status, busy);
}

uint32_t getState(const kit::Call& call, Selector selector, uint32_t* status, uint32_t* busy) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(busy, "busy")) return code;
  return readState(call, selector, status, busy);
}

// Queues, then polls the state while the transmitter is busy, within timeoutUs / 1000 + 3 ms. The last poll
// decides: still busy then adds QOR_MOST_PDTS_RESULT_STILL_BUSY to the send flag.
template <class QueueStep>
uint32_t sendAndWait(const kit::Call& call, Selector stateSelector, uint32_t timeoutUs, uint32_t* status,
                     uint32_t* result, QueueStep queueStep) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  uint32_t flag = 0;
  if (uint32_t code = queueStep(&flag)) return code;
  uint32_t busy = 0;
  const std::optional<uint32_t> code =
      kit::pollUntil(timeoutUs / 1000 + kWaitMarginMs, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
        if (uint32_t failure = readState(call, stateSelector, status, &busy)) return failure;
        if (busy != 0) return {};
        return 0u;
      });
  if (code.has_value() && *code != 0) return *code;
  *result = code.has_value() ? flag : flag | QOR_MOST_PDTS_RESULT_STILL_BUSY;
  return 0;
}

// On the port's callback thread.
void packetStateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::span<const uint8_t> answer(data, length);
  if (answer.size() < kStateAnswerBytes) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  uint32_t status = 0, busy = 0;
  if (uint32_t code = decodeState(port, answer, &status, &busy)) {
    kit::reportRelayFailure(port, code, kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Pdts_GetTxStateCallback_t>(context)(port, status, busy);
}

uint32_t requestPacketState(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return packetStateFamily().request(call, stateRequest(kPacketState));
}

uint32_t addPacketStateCallback(const kit::Call& call, Qor_Most_Pdts_GetTxStateCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return packetStateFamily().add(call.port(), packetStateRelay, callback);
}

uint32_t removePacketStateCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return packetStateFamily().remove(call.port());
}

}  // namespace
}  // namespace qor::most

using namespace qor::most;
using qor::kit::Call;

uint32_t Qor_Most_Pdts_QueueMessage(uint32_t port, uint16_t targetAddress, const uint8_t* data, uint32_t length,
                                    uint32_t* flag) try {
  return queuePacket(Call(kMost, port), targetAddress, data, length, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_SendMessage(uint32_t port, uint32_t timeout, uint16_t targetAddress, const uint8_t* data,
                                   uint32_t length, uint32_t* status, uint32_t* result) try {
  const Call call(kMost, port);
  return sendAndWait(call, kPacketState, timeout, status, result,
                     [&](uint32_t* flag) { return queuePacket(call, targetAddress, data, length, flag); });
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy) try {
  return getState(Call(kMost, port), kPacketState, status, busy);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_GetTxState_Async(uint32_t port) try {
  return requestPacketState(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_GetTxState_Async_AddCallback(uint32_t port, Qor_Most_Pdts_GetTxStateCallback_t callback) try {
  return addPacketStateCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_GetTxState_Async_RemoveCallback(uint32_t port) try {
  return removePacketStateCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_Mep_QueueMessage(uint32_t port, uint16_t length, const uint8_t* data, uint32_t* flag) try {
  return queueMep(Call(kMost, port), length, data, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_Mep_SendMessage(uint32_t port, uint32_t timeout, uint16_t length, const uint8_t* data,
                                       uint32_t* status, uint32_t* result) try {
  const Call call(kMost, port);
  return sendAndWait(call, kMepState, timeout, status, result,
                     [&](uint32_t* flag) { return queueMep(call, length, data, flag); });
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Pdts_Mep_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy) try {
  return getState(Call(kMost, port), kMepState, status, busy);
} catch (...) {
  return kMost.failedCall(port);
}
