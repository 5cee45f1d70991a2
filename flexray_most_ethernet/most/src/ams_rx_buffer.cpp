// The firmware's buffer of received AMS messages: its configuration (selector 7), its notifications switched on or off
// (selector 9), and the relay that reassembles the messages of the notifications (selector 8) for the application.
// A notification carries blocks, each a piece of a message; a message is handed over only whole and only with a
// header that names the data it carries. A piece out of place drops the message quietly (the rest of it can never
// complete it); anything that does not add up drops it and ends the notification as inconsistent.
#include <algorithm>
#include <span>
#include <vector>

#include "ams.hpp"
#include "most_async.hpp"
#include "qor_kit/piece_collector.hpp"

namespace qor::most::ams {
namespace {

constexpr const char* kRxBufferAsync = "Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async";
constexpr size_t kNotificationHead = 8, kBlockHead = 8;
constexpr uint8_t kFirstPiece = 0x1, kLastOfMessage = 0x2, kMessagePending = 0x4;
constexpr uint32_t kHeaderDataLengthOffset = 8;

struct Collection {
  kit::PieceTally tally;
  uint8_t message[QOR_MOST_AMS_RX_MESSAGE_MAX];

  kit::PieceCollector collector() { return kit::PieceCollector(message, tally); }
};

kit::AsyncFamily rxFamily(uint8_t channel) {
  return kit::AsyncFamily(kCommand, {kRxBufferMessages, channel}, sizeof(Collection));
}

struct Block {
  uint8_t flags;
  uint32_t lengthOrPosition;
  std::span<const uint8_t> piece;
};

// A whole message: its header's data length plus the header.
bool namesItsLength(std::span<const uint8_t> message, uint64_t length) {
  if (message.size() < QOR_MOST_AMS_RX_MESSAGE_HEADER) return false;
  const kit::AnswerReader header(message);
  return uint64_t{header.u32(kHeaderDataLengthOffset)} + QOR_MOST_AMS_RX_MESSAGE_HEADER == length;
}

class Reassembly {
 public:
  Reassembly(uint32_t port, void* context, uint8_t channel)
      : port_(port), context_(context), channel_(channel),
        collection_(*kit::AsyncFamily::decodedRecord<Collection>(context)) {}

  // False when the block is inconsistent (reported; the notification ends).
  bool take(const Block& block) {
    kit::PieceCollector collector = collection_.collector();
    const bool last = (block.flags & kLastOfMessage) != 0;
    if ((block.flags & kFirstPiece) != 0) {
      collector.drop();
      const uint32_t length = block.lengthOrPosition;
      if (block.piece.size() >= length) {  // the whole message in one piece
        if (!namesItsLength(block.piece, block.piece.size())) return inconsistent();
        deliver(block.piece, block.flags);
        return true;
      }
      if (last || length > QOR_MOST_AMS_RX_MESSAGE_MAX || !namesItsLength(block.piece, length)) return inconsistent();
      collector.begin(length);
      collector.append(block.piece);
      return true;
    }
    switch (collector.appendAt(block.lengthOrPosition, block.piece)) {
      case kit::PieceCollector::Append::kMisplaced:
        collector.drop();
        return true;
      case kit::PieceCollector::Append::kStored:
        break;
      default:
        return inconsistent();
    }
    if (collector.complete()) {
      deliver(collector.data(), block.flags);
      collector.drop();
    } else if (last) {
      return inconsistent();  // the message ended short of its length
    }
    return true;
  }

  bool inconsistent() {
    collection_.collector().drop();
    kit::reportRelayFailure(port_, kMost.code(kInconsistentResponse), kRxBufferAsync);
    return false;
  }

 private:
  void deliver(std::span<const uint8_t> message, uint8_t flags) {
    const uint32_t state = ((flags & kLastOfMessage) != 0 ? QOR_MOST_AMS_RX_STATE_LAST : 0) |
                           ((flags & kMessagePending) != 0 ? QOR_MOST_AMS_RX_STATE_PENDING : 0);
    kit::AsyncFamily::applicationCallback<Qor_Most_Ams_RxMsgBufferCallback_t>(context_)(port_, channel_,
                                                                                       message.data(), state);
  }

  uint32_t port_;
  void* context_;
  uint8_t channel_;
  Collection& collection_;
};

void rxRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kNotificationHead)) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kRxBufferAsync);
    return;
  }
  Reassembly reassembly(port, context, answer.u8(1));
  // The blocks' byte count, cut to what arrived.
  const std::span<const uint8_t> blocks = answer.rest(kNotificationHead).first(
      std::min<size_t>(answer.u32(4), answer.size() - kNotificationHead));
  for (size_t offset = 0; offset < blocks.size();) {
    const kit::AnswerReader head(blocks.subspan(offset));
    const std::span<const uint8_t> piece = head.bytes(kBlockHead, head.u16(0));
    if (!head.complete()) {
      reassembly.inconsistent();
      return;
    }
    if (!reassembly.take(Block{head.u8(3), head.u32(4), piece})) return;
    offset += std::min<size_t>((kBlockHead + piece.size() + 3) & ~size_t{3}, blocks.size() - offset);
  }
}

uint32_t configure(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (mode > QOR_MOST_AMS_RX_BUFFER_MODE_MAX) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  kit::RecordWriter request = record(kRxBufferConfig, channel, 16);
  request.zeros(4).u32(value).u8(mode).zeros(3);
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, request, answer);
}

}  // namespace
}  // namespace qor::most::ams

using qor::kit::Call;
using qor::most::kMost;
namespace ams = qor::most::ams;

uint32_t Qor_Most_Ams_RxMsgBuffer_Config(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value) try {
  return ams::configure(Call(kMost, port), channel, mode, value);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Enable(uint32_t port, uint8_t channel) try {
  return ams::switchNotifications(Call(kMost, port), channel, ams::Notification::kRxBuffer, true);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_Disable(uint32_t port, uint8_t channel) try {
  return ams::switchNotifications(Call(kMost, port), channel, ams::Notification::kRxBuffer, false);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_AddCallback(uint32_t port, uint8_t channel,
                                                            Qor_Most_Ams_RxMsgBufferCallback_t callback) try {
  // The core's user data start zeroed: no collection in progress.
  return qor::most::addAsyncCallback(Call(kMost, port), ams::rxFamily(channel), ams::rxRelay, callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Ams_RxMsgBuffer_GetMsgs_Async_RemoveCallback(uint32_t port, uint8_t channel) try {
  return qor::most::removeAsyncCallback(Call(kMost, port), ams::rxFamily(channel));
} catch (...) {
  return kMost.failedCall(port);
}
