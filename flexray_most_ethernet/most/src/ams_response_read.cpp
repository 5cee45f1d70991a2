// Reading an AMS response synchronously: the answer of selector 5 with the first chunk, then continuations
// (selector 6) until the last piece. The data land in the caller's record only within the announced total and the
// record; a response longer than the record, or whose pieces do not add up to its total, is read to its last piece
// (so that the firmware is done with it) and refused.
#include <span>
#include <vector>

#include "ams.hpp"
#include "qor_kit/piece_collector.hpp"
#include "qor_most_status.h"

namespace qor::most::ams {
namespace {

// Why a response could not be stored whole.
enum class Refusal { kNone, kTooLong, kInconsistent };

// Reads continuations until the last piece. A piece that does not fit what arrived or the total, or an empty piece
// that is not the last (the firmware would never finish), ends the reading at once as inconsistent.
uint32_t readPieces(const kit::Call& call, uint8_t channel, kit::PieceCollector& collector, Refusal& refusal) {
  for (;;) {
    std::vector<uint8_t> answer;
    if (uint32_t code = call.exchange(kCommand, kControlBytes, record(kResponsePiece, channel), answer)) return code;
    const kit::AnswerReader reader(answer);
    if (!reader.has(kPieceHead)) return shortAnswer(call, reader.size());
    const bool last = (reader.u8(4) & kLastPiece) != 0;
    const std::span<const uint8_t> piece = reader.bytes(kPieceHead, reader.u32(8));
    if (!reader.complete() || (piece.empty() && !last)) {
      refusal = Refusal::kInconsistent;
      return 0;
    }
    if (collector.append(piece) == kit::PieceCollector::Append::kPastTotal) {
      refusal = Refusal::kInconsistent;
      return 0;
    }
    if (last) return 0;
  }
}

// Collects the message's data into the response; refusal says whether it is whole.
uint32_t collectMessage(const kit::Call& call, uint8_t channel, const kit::AnswerReader& head,
                        Qor_Most_Ams_Response_t& response, Refusal& refusal) {
  kit::PieceTally tally{};
  kit::PieceCollector collector(response.data, tally);
  const uint32_t total = head.u32(20);
  collector.begin(total);
  const std::span<const uint8_t> first = head.bytes(kResponseHead, head.u32(24));
  const bool whole = (head.u8(4) & kWholeInAnswer) != 0;
  if (collector.draining() && whole) {
    refusal = Refusal::kTooLong;
    return 0;
  }
  if (!head.complete() || collector.append(first) == kit::PieceCollector::Append::kPastTotal) {
    refusal = Refusal::kInconsistent;
    collector.drain();
  }
  if (!whole) {
    if (uint32_t code = readPieces(call, channel, collector, refusal)) return code;
  }
  if (refusal == Refusal::kNone && collector.draining()) refusal = Refusal::kTooLong;
  if (refusal == Refusal::kNone && !collector.complete()) refusal = Refusal::kInconsistent;  // a piece was lost
  return 0;
}

uint32_t getResponse(const kit::Call& call, uint8_t channel, Qor_Most_Ams_Response_t* response) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(response, "response")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, record(kResponse, channel), answer)) return code;
  const kit::AnswerReader head(answer);
  if (!head.has(kResponseHead)) return shortAnswer(call, head.size());
  const uint8_t flags = head.u8(4);
  response->state = (flags & kResponsePending) != 0 ? QOR_MOST_AMS_STATE_PENDING : 0;
  uint32_t dataLength = 0;
  if ((flags & kHasMessage) != 0) {
    Refusal refusal = Refusal::kNone;
    if (uint32_t code = collectMessage(call, channel, head, *response, refusal)) return code;
    if (refusal == Refusal::kTooLong) {
      return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %u", head.u32(20));
    }
    if (refusal == Refusal::kInconsistent) {
      return call.fail(kMost.code(kInconsistentResponse), "pieces of the %u-byte response do not add up",
                       head.u32(20));
    }
    response->state |= QOR_MOST_AMS_STATE_COMPLETE;
    dataLength = head.u32(20);
  }
  if (uint32_t code = Qor_Most_TranslateStatusFromFwToApi(call.port(), head.u32(8), &response->status)) return code;
  decodeResponseHead(head, *response);
  response->dataLength = dataLength;
  return 0;
}

}  // namespace
}  // namespace qor::most::ams

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Ams_GetResponse(uint32_t port, uint8_t channel, Qor_Most_Ams_Response_t* response) try {
  return qor::most::ams::getResponse(Call(kMost, port), channel, response);
} catch (...) {
  return kMost.failedCall(port);
}
