// AMS responses through callbacks: the firmware's notifications (selector 9) switched on or off, and two entries per
// channel, {5, channel} for a response's first answer and {6, channel} for its continuations. The first entry's user
// data hold the collection; the second's hold a pointer to them. A response reaches the application only whole;
// pieces that do not fit what arrived, the total or the record are reported as inconsistent and drop the response.
#include <span>

#include "ams.hpp"
#include "most_async.hpp"
#include "qor_kit/piece_collector.hpp"
#include "qor_most_status.h"

namespace qor::most::ams {
namespace {

constexpr const char* kResponseAsync = "Qor_Most_Ams_GetResponse_Async";

struct Collection {
  kit::PieceTally tally;
  Qor_Most_Ams_Response_t response;

  kit::PieceCollector collector() { return kit::PieceCollector(response.data, tally); }
};

kit::AsyncFamily firstFamily(uint8_t channel) {
  return kit::AsyncFamily(kCommand, {kResponse, channel}, sizeof(Collection));
}
// Its "callback" is the first entry's user data.
kit::AsyncFamily pieceFamily(uint8_t channel) { return kit::AsyncFamily(kCommand, {kResponsePiece, channel}, 0); }

void fail(uint32_t port, Collection& collection, uint32_t code) {
  collection.collector().drop();
  kit::reportRelayFailure(port, code, kResponseAsync);
}

// Hands the response over once its data are all there.
void deliverWhenComplete(uint32_t port, const void* context, Collection& collection, uint8_t channel) {
  kit::PieceCollector collector = collection.collector();
  if (!collector.complete()) return;
  collection.response.dataLength = collector.total();
  collector.drop();
  kit::AsyncFamily::applicationCallback<Qor_Most_Ams_GetResponseCallback_t>(context)(port, channel,
                                                                                    &collection.response);
}

void firstRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  Collection& collection = *kit::AsyncFamily::decodedRecord<Collection>(context);
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kResponseHead)) return fail(port, collection, kMost.code(kit::GeneralError::InvalidResponseLength));
  const uint8_t flags = answer.u8(4);
  Qor_Most_Ams_Response_t& response = collection.response;
  decodeResponseHead(answer, response);
  response.state = ((flags & kHasMessage) != 0 ? QOR_MOST_AMS_STATE_COMPLETE : 0) |
                   ((flags & kResponsePending) != 0 ? QOR_MOST_AMS_STATE_PENDING : 0);
  if (uint32_t code = Qor_Most_TranslateStatusFromFwToApi(port, answer.u32(8), &response.status)) {
    return fail(port, collection, code);
  }
  kit::PieceCollector collector = collection.collector();
  collector.begin((flags & kHasMessage) != 0 ? answer.u32(20) : 0);  // no message: nothing to wait for
  if (collector.draining()) return fail(port, collection, kMost.code(kit::GeneralError::ResponseBufferUndersized));
  if ((flags & kHasMessage) != 0) {
    const std::span<const uint8_t> first = answer.bytes(kResponseHead, answer.u32(24));
    if (!answer.complete() || collector.append(first) != kit::PieceCollector::Append::kStored) {
      return fail(port, collection, kMost.code(kInconsistentResponse));
    }
  }
  deliverWhenComplete(port, context, collection, answer.u8(1));
}

void pieceRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  void* first = kit::AsyncFamily::applicationCallback<void*>(context);
  Collection& collection = *kit::AsyncFamily::decodedRecord<Collection>(first);
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kPieceHead)) return fail(port, collection, kMost.code(kit::GeneralError::InvalidResponseLength));
  kit::PieceCollector collector = collection.collector();
  if (collector.idle()) return;  // a piece of a response already refused
  const std::span<const uint8_t> piece = answer.bytes(kPieceHead, answer.u32(8));
  const bool last = (answer.u8(4) & kLastPiece) != 0;
  if (!answer.complete() || collector.append(piece) != kit::PieceCollector::Append::kStored ||
      (last && !collector.complete())) {
    return fail(port, collection, kMost.code(kInconsistentResponse));
  }
  deliverWhenComplete(port, first, collection, answer.u8(1));
}

uint32_t addCallback(const kit::Call& call, uint8_t channel, Qor_Most_Ams_GetResponseCallback_t callback) {
  void* first = nullptr;
  if (uint32_t code = addAsyncCallback(call, firstFamily(channel), firstRelay, callback, &first)) return code;
  if (uint32_t code = pieceFamily(channel).add(call.port(), pieceRelay, first)) {
    firstFamily(channel).remove(call.port());  // half a registration would block every later one
    return code;
  }
  return 0;
}

// The piece entry goes first: it reaches into the first entry's user data.
uint32_t removeCallback(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  pieceFamily(channel).remove(call.port());
  return firstFamily(channel).remove(call.port());
}

}  // namespace
}  // namespace qor::most::ams

using qor::kit::Call;
using qor::most::kMost;
namespace ams = qor::most::ams;

uint32_t Qor_Most_Ams_GetResponse_Async_Enable(uint32_t port, uint8_t channel) try {
  return ams::switchNotifications(Call(kMost, port), channel, ams::Notification::kResponses, true);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetResponse_Async_Disable(uint32_t port, uint8_t channel) try {
  return ams::switchNotifications(Call(kMost, port), channel, ams::Notification::kResponses, false);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetResponse_Async_AddCallback(uint32_t port, uint8_t channel,
                                                    Qor_Most_Ams_GetResponseCallback_t callback) try {
  return ams::addCallback(Call(kMost, port), channel, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_GetResponse_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return ams::removeCallback(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}
