#include <chrono>
#include <optional>
#include <span>

#include "can_library.hpp"
#include "qor_can_tx_fifo.h"
#include "qor_kit/call.hpp"
#include "qor_kit/chunk_packer.hpp"
#include "qor_kit/poll.hpp"
#include "tx_fifo_records.hpp"
#include "tx_fifo_state.hpp"

namespace qor::can {
namespace {

using Clock = std::chrono::steady_clock;
using kit::GeneralError;

constexpr uint32_t kPollIntervalMs = 1;

// Asks the state until at least `wanted` slots are free; the time-out counts from the call's start.
uint32_t waitForFreeSlots(const kit::Call& call, Clock::time_point start, uint32_t timeoutMs, uint32_t wanted,
                          uint32_t& freeSlots) {
  const std::optional<uint32_t> result =
      kit::pollUntil(start, timeoutMs, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
        TxFifoState state{};
        if (uint32_t code = readTxFifoState(call, state)) return code;
        freeSlots = state.freeSlots;
        return freeSlots >= wanted ? std::optional<uint32_t>(0) : std::nullopt;
      });
  return result ? *result : call.fail(kCan.code(kTxFifoTimeout));
}

uint32_t queueMessage(const kit::Call& call, uint32_t identifier, const uint8_t* data, uint8_t dlc) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  const uint8_t dataBytes = dataBytesOfDlc(dlc);
  if (dataBytes > 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  return call.send(kTxFifoMessageCommand, singleMessageRecord(identifier, dlc, std::span(data, dataBytes)));
}

uint32_t checkClassicMessages(const kit::Call& call, std::span<const Qor_Can_TxFifo_Msg_t> chunk,
                              uint32_t firstIndex) {
  for (size_t index = 0; index < chunk.size(); ++index) {
    if (uint32_t offset = highestReservedOffset(chunk[index])) {
      return call.fail(GeneralError::InvalidParameter,
                       "Invalid reserved parameter byte: \n\toffset: %u \n\titem number: %u", offset,
                       static_cast<unsigned>(firstIndex + index));
    }
  }
  return 0;
}

// A chunk takes at most the free slots. Each chunk's messages are checked just before it is sent, so the chunks
// before one with a bad message stay queued.
uint32_t queueClassic(const kit::Call& call, uint32_t timeoutMs, uint32_t count, const Qor_Can_TxFifo_Msg_t* msgs) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(msgs, "msgs")) return code;
  uint32_t room = 0;
  if (uint32_t code = call.pieceLength(kClassicChunkHeadBytes, &room)) return code;
  const kit::ChunkPacker packer(count, room, [](uint32_t) { return kClassicRecordBytes; });
  if (packer.oversizeEntry()) return call.fail(GeneralError::InvalidDataLength, "no room for a message");
  const auto start = Clock::now();
  const std::span<const Qor_Can_TxFifo_Msg_t> messages(msgs, count);
  return packer.sendAll(
      [&](uint32_t& slots) { return waitForFreeSlots(call, start, timeoutMs, 1, slots); },
      [&](uint32_t first, uint32_t entries, uint32_t& slots) {
        const std::span<const Qor_Can_TxFifo_Msg_t> chunk = messages.subspan(first, entries);
        if (uint32_t code = checkClassicMessages(call, chunk, first)) return code;
        slots -= entries;
        return call.send(kTxFifoClassicChunkCommand, classicChunkRecord(chunk));
      });
}

uint32_t checkExtendedMessage(const kit::Call& call, const Qor_Can_TxFifo_Msg2_t& message, uint32_t index) {
  if (message.reserved != 0) {
    return call.fail(GeneralError::InvalidParameter, "reserved bytes in item with index '%u' must be zero", index);
  }
  if (message.itemFlag > 1) return call.fail(GeneralError::UnknownFlag, "unknown flag in item with index '%u'", index);
  if (!translatedMessageFlags(message.msgFlags)) {
    return call.fail(GeneralError::UnknownFlag, "unknown CAN message flag in item with index '%u'", index);
  }
  return checkDlc(call, message.dlc);
}

// Every message is checked before the first chunk leaves. A message takes two slots, and the state is asked again
// before each chunk.
uint32_t queueExtended(const kit::Call& call, uint32_t flags, uint32_t timeoutMs, uint32_t count,
                       const Qor_Can_TxFifo_Msg2_t* msgs) {
  const auto start = Clock::now();
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (count == 0) return 0;
  if (uint32_t code = call.checkPointer(msgs, "msgs")) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  for (uint32_t index = 0; index < count; ++index) {
    if (uint32_t code = checkExtendedMessage(call, msgs[index], index)) return code;
  }
  const kit::ChunkPacker packer(count, parameterLength,
                                [&](uint32_t index) { return extendedRecordBytes(msgs[index].dlc); });
  if (packer.oversizeEntry()) {
    return call.fail(GeneralError::InvalidDataLength, "parameter length %u holds no message", parameterLength);
  }
  return packer.sendAll(
      [&](uint32_t& messages) {
        // A single free slot holds no message: wait as for a full FIFO.
        uint32_t freeSlots = 0;
        if (uint32_t code = waitForFreeSlots(call, start, timeoutMs, kExtendedMessageSlots, freeSlots)) return code;
        messages = freeSlots / kExtendedMessageSlots;
        return 0u;
      },
      [&](uint32_t first, uint32_t entries, uint32_t& messages) {
        kit::RecordWriter chunk(parameterLength);
        for (uint32_t index = first; index < first + entries; ++index) {
          appendExtendedRecord(chunk, msgs[index], *translatedMessageFlags(msgs[index].msgFlags));
        }
        messages = 0;
        return call.send(kTxFifoExtendedChunkCommand, chunk);
      });
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_TxFifo_Reset(uint32_t port) try {
  const Call call(kCan, port);
  if (uint32_t code = qor::can::checkCanInterface(call)) return code;
  qor::kit::RecordWriter record(sizeof(uint32_t));
  record.u32(0);
  return call.send(qor::can::kTxFifoResetCommand, record);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_QueueMsg(uint32_t port, uint32_t identifier, const uint8_t* data, uint8_t dlc) try {
  return qor::can::queueMessage(Call(kCan, port), identifier, data, dlc);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_QueueMsgs(uint32_t port, uint32_t timeoutMs, uint32_t count,
                                  const Qor_Can_TxFifo_Msg_t* msgs) try {
  return qor::can::queueClassic(Call(kCan, port), timeoutMs, count, msgs);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_QueueMsgs2(uint32_t port, uint32_t flags, uint32_t timeoutMs, uint32_t count,
                                   const Qor_Can_TxFifo_Msg2_t* msgs) try {
  return qor::can::queueExtended(Call(kCan, port), flags, timeoutMs, count, msgs);
} catch (...) {
  return kCan.failedCall(port);
}
