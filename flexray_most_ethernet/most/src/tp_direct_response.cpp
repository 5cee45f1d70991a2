// Responses of a direct transport channel (selector 6): read piece by piece while the firmware says more follow, or
// handed to a callback once the firmware's notifications (selector 7) are on. Pieces are collected within the
// caller's buffer or the callback's area only; a longer response is read to its end and refused with the length it
// needs, and a piece that does not fit its answer is refused as inconsistent.
#include <span>
#include <vector>

#include "most_async.hpp"
#include "qor_kit/piece_collector.hpp"
#include "qor_most_tp_direct.h"
#include "tp_direct.hpp"

namespace qor::most::tp_direct {
namespace {

constexpr size_t kPieceHead = 16;
constexpr const char* kResponseAsync = "Qor_Most_TpDirect_GetResponse_Async";

// One answer of selector 6 (at least kPieceHead bytes); piece is empty and consistent false when its length lies.
struct ResponsePiece {
  uint8_t result;
  uint8_t state;
  bool more;
  std::span<const uint8_t> piece;
  bool consistent;
};
ResponsePiece decodePiece(const kit::AnswerReader& answer) {
  const std::span<const uint8_t> piece = answer.bytes(kPieceHead, answer.u16(12));
  return {answer.u8(8), answer.u8(9), answer.u16(14) != 0, piece, answer.complete()};
}

struct Collection {
  kit::PieceTally tally;
  uint32_t result;
  uint8_t area[QOR_MOST_TP_DIRECT_MAX_RESPONSE];

  kit::PieceCollector collector() { return kit::PieceCollector(area, tally); }
};

kit::AsyncFamily responseFamily(uint8_t channel) {
  return kit::AsyncFamily(kCommand, {kResponse, channel}, sizeof(Collection));
}

uint32_t getResponse(const kit::Call& call, uint8_t channel, uint32_t* result, uint8_t* state, uint8_t* data,
                     uint32_t* length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(length, "length")) return code;
  if (*length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  kit::PieceTally tally{};
  kit::PieceCollector collector(std::span(data, *length), tally);  // the caller's buffer, drained past its end
  collector.begin();
  uint32_t collectedResult = 0;
  ResponsePiece last{};
  do {
    std::vector<uint8_t> answer;
    if (uint32_t code = call.exchange(kCommand, kControlBytes, record(kResponse, channel), answer)) return code;
    const kit::AnswerReader reader(answer);
    if (!reader.has(kPieceHead)) return shortAnswer(call, reader.size());
    last = decodePiece(reader);
    // An empty piece with more to follow would never end the reading.
    if (!last.consistent || (last.piece.empty() && last.more) ||
        collector.append(last.piece) == kit::PieceCollector::Append::kPastTotal) {
      return call.fail(kMost.code(kInconsistentResponse), "response piece of %zu bytes", reader.size());
    }
    if (last.result != 0) collectedResult = last.result;
  } while (last.more);
  if (last.state > QOR_MOST_TP_DIRECT_STATE_MAX) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "the state '%d' of the response is unknown",
                     last.state);
  }
  *state = last.state;
  *result = collectedResult;
  if (collector.draining() || collector.collected() > *length) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %u", collector.collected());
  }
  *length = collector.collected();
  return 0;
}

void responseRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  Collection& collection = *kit::AsyncFamily::decodedRecord<Collection>(context);
  kit::PieceCollector collector = collection.collector();
  const auto fail = [&](uint32_t code) {
    collector.drop();
    collection.result = 0;
    kit::reportRelayFailure(port, code, kResponseAsync);
  };
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kPieceHead)) return fail(kMost.code(kit::GeneralError::InvalidResponseLength));
  const ResponsePiece piece = decodePiece(answer);
  if (collector.idle()) collector.begin();
  if (!piece.consistent || collector.append(piece.piece) == kit::PieceCollector::Append::kPastTotal) {
    return fail(kMost.code(kInconsistentResponse));
  }
  if (piece.result != 0) collection.result = piece.result;
  if (piece.more) return;
  if (collector.draining()) return fail(kMost.code(kit::GeneralError::ResponseBufferUndersized));
  if (piece.state > QOR_MOST_TP_DIRECT_STATE_MAX) return fail(kMost.code(kit::GeneralError::InvalidResponseParameter));
  const std::span<const uint8_t> response = collector.data();
  const uint32_t result = collection.result;
  collector.drop();
  collection.result = 0;
  kit::AsyncFamily::applicationCallback<Qor_Most_TpDirect_GetResponseCallback_t>(context)(
      port, answer.u8(1), result, piece.state, response.data(), static_cast<uint32_t>(response.size()));
}

uint32_t switchNotifications(const kit::Call& call, uint8_t channel, bool on) {
  if (uint32_t code = checkMostInterface(call)) return code;
  kit::RecordWriter request = record(kResponseNotifications, channel, 8);
  request.u16(0).u8(on ? 1 : 0).u8(0);
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, request, answer);
}

}  // namespace
}  // namespace qor::most::tp_direct

using qor::kit::Call;
using qor::most::kMost;
namespace tp = qor::most::tp_direct;

uint32_t Qor_Most_TpDirect_GetResponse(uint32_t port, uint8_t channel, uint32_t* result, uint8_t* state, uint8_t* data,
                                       uint32_t* length) try {
  return tp::getResponse(Call(kMost, port), channel, result, state, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetResponse_Async_Enable(uint32_t port, uint8_t channel) try {
  return tp::switchNotifications(Call(kMost, port), channel, true);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetResponse_Async_Disable(uint32_t port, uint8_t channel) try {
  return tp::switchNotifications(Call(kMost, port), channel, false);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetResponse_Async_AddCallback(uint32_t port, uint8_t channel,
                                                         Qor_Most_TpDirect_GetResponseCallback_t callback) try {
  // The core's user data start zeroed: no collection, result 0.
  return qor::most::addAsyncCallback(Call(kMost, port), tp::responseFamily(channel), tp::responseRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_GetResponse_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeAsyncCallback(Call(kMost, port), tp::responseFamily(channel));
} catch (...) {
  return kMost.failedCall(port);
}
