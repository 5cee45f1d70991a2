// Sending an AMS request in segments (selectors 2 and 3), and the request that then polls for its response.
#include <algorithm>
#include <span>
#include <vector>

#include "ams.hpp"
#include "qor_kit/poll.hpp"

namespace qor::most::ams {
namespace {

constexpr uint32_t kFirstSegmentHead = 28, kNextSegmentHead = 8;
constexpr uint32_t kSegmentAnswerCapacity = 8;
constexpr size_t kSegmentAnswer = 8;
constexpr uint8_t kSegmentFlag = 0x1;
constexpr uint32_t kResponseGraceMs = 3;

uint32_t checkMessage(const kit::Call& call, const Qor_Most_Ams_Message_t& message) {
  for (size_t offset : {15u, 14u, 13u}) {  // the highest offset is reported
    if (reinterpret_cast<const uint8_t*>(&message)[offset] != 0) {
      return call.fail(kit::GeneralError::InvalidParameter, "Invalid reserved parameter byte: offset %zu", offset);
    }
  }
  if (message.dataLength > QOR_MOST_AMS_MAX_DATA) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", message.dataLength);
  }
  return 0;
}

uint32_t checkFields(const kit::Call& call, const Qor_Most_Ams_Message_t& message) {
  if (message.operationType > QOR_MOST_AMS_OPERATION_TYPE_MAX) {
    return call.fail(kMost.code(kUnknownOperationType), "%u", message.operationType);
  }
  if (message.messageType > QOR_MOST_AMS_MESSAGE_TYPE_MAX) {
    return call.fail(kMost.code(kAmsUnknownMessageType), "%u", message.messageType);
  }
  if (message.mode > QOR_MOST_AMS_MODE_MAX) return call.fail(kit::GeneralError::UnknownMode, "%u", message.mode);
  return 0;
}

kit::RecordWriter firstSegment(uint8_t channel, const Qor_Most_Ams_Message_t& message,
                               std::span<const uint8_t> chunk) {
  kit::RecordWriter segment = record(kFirstSegment, channel, kFirstSegmentHead + static_cast<uint32_t>(chunk.size()));
  segment.u32(message.timeout).u16(message.targetAddress).u8(message.fblockId).u8(message.instanceId);
  segment.u16(message.functionId).u8(message.operationType).u8(message.messageType).u8(message.mode).zeros(3);
  segment.u32(message.dataLength).u32(static_cast<uint32_t>(chunk.size())).bytes(chunk);
  return segment;
}

kit::RecordWriter nextSegment(uint8_t channel, std::span<const uint8_t> chunk) {
  kit::RecordWriter segment = record(kNextSegment, channel, kNextSegmentHead + static_cast<uint32_t>(chunk.size()));
  segment.u32(static_cast<uint32_t>(chunk.size())).bytes(chunk);
  return segment;
}

// One segment; flag gains bit 0 of its answer.
uint32_t sendSegment(const kit::Call& call, const kit::RecordWriter& segment, uint32_t& flag) {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, segment, answer, kSegmentAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kSegmentAnswer)) return shortAnswer(call, reader.size());
  flag |= reader.u8(4) & kSegmentFlag;
  return 0;
}

uint32_t queueRequest(const kit::Call& call, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                      uint32_t* flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(message, "message")) return code;
  if (uint32_t code = call.checkPointer(flag, "flag")) return code;
  if (uint32_t code = checkMessage(call, *message)) return code;
  uint32_t firstPiece = 0, nextPiece = 0;
  if (uint32_t code = call.pieceLength(kFirstSegmentHead, &firstPiece)) return code;
  if (uint32_t code = call.pieceLength(kNextSegmentHead, &nextPiece)) return code;
  if (uint32_t code = checkFields(call, *message)) return code;

  const std::span<const uint8_t> data(message->data, message->dataLength);
  uint32_t answered = 0;
  size_t sent = std::min<size_t>(firstPiece, data.size());
  if (uint32_t code = sendSegment(call, firstSegment(channel, *message, data.first(sent)), answered)) return code;
  while (sent < data.size()) {
    const size_t piece = std::min<size_t>(nextPiece, data.size() - sent);
    if (uint32_t code = sendSegment(call, nextSegment(channel, data.subspan(sent, piece)), answered)) return code;
    sent += piece;
  }
  *flag = answered;
  return 0;
}

uint32_t request(const kit::Call& call, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                 Qor_Most_Ams_Response_t* response) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(response, "response")) return code;
  uint32_t flag = 0;
  if (uint32_t code = queueRequest(call, channel, message, &flag)) return code;
  const uint32_t limitMs = message->timeout / 1000 + kResponseGraceMs;
  // The end test comes first: a response found complete is never reported as a time-out.
  const std::optional<uint32_t> result = kit::pollUntil(limitMs, 0, [&]() -> std::optional<uint32_t> {
    if (uint32_t code = Qor_Most_Ams_GetResponse(call.port(), channel, response)) return code;
    if ((response->state & QOR_MOST_AMS_STATE_PENDING) == 0) return 0;
    return std::nullopt;
  });
  if (!result) return call.fail(kit::GeneralError::UserTimeout, "%u", limitMs);
  return *result;
}

}  // namespace
}  // namespace qor::most::ams

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Ams_QueueRequest(uint32_t port, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                                   uint32_t* flag) try {
  return qor::most::ams::queueRequest(Call(kMost, port), channel, message, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_Request(uint32_t port, uint8_t channel, const Qor_Most_Ams_Message_t* message,
                              Qor_Most_Ams_Response_t* response) try {
  return qor::most::ams::request(Call(kMost, port), channel, message, response);
} catch (...) {
  return kMost.failedCall(port);
}
