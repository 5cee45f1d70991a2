// Sending a control message (command 0x22, selector 0): queued to the transmitter, or queued and waited for until the
// transmitter is idle again.
#include <optional>
#include <span>
#include <vector>

#include "cms_tx_state.hpp"
#include "most_library.hpp"
#include "qor_kit/poll.hpp"
#include "qor_most_cms.h"

namespace qor::most {
namespace {

constexpr uint8_t kSendMessage = 0;
constexpr uint32_t kHeadBytes = 16;
constexpr uint32_t kAnswerCapacity = 8;
constexpr size_t kAnswerBytes = 8;
// Beyond the caller's time-out, in milliseconds: the firmware's transmitter needs a few of its own.
constexpr uint32_t kTransmitterGraceMs = 3;
// Each poll is a round trip to the firmware; none waits longer, so a short time-out still sees several polls.
constexpr uint32_t kPollIntervalMs = 0;

kit::RecordWriter sendRequest(const Qor_Most_Cms_Message_t& message, std::span<const uint8_t> data) {
  kit::RecordWriter record(kHeadBytes + data.size());
  record.u8(kSendMessage).u8(0).u16(0);
  record.u16(message.targetAddress).u8(message.fblockId).u8(message.instanceId).u16(message.functionId);
  record.u8(message.operationType).u8(message.messageType).u8(static_cast<uint8_t>(data.size())).zeros(3);
  record.bytes(data);
  return record;
}

uint32_t queueMessage(const kit::Call& call, const Qor_Most_Cms_Message_t* message, const uint8_t* data,
                      uint32_t length, uint32_t* flag) {
  if (uint32_t code = call.checkPointer(message, "message")) return code;
  if (length > 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  if (uint32_t code = call.checkPointer(flag, "flag")) return code;
  if (uint32_t code = checkDataLength(call, kHeadBytes, length, QOR_MOST_CMS_DATA_MAX)) return code;
  if (uint32_t code = checkOperationType(call, message->operationType)) return code;
  std::vector<uint8_t> bytes;
  if (uint32_t code = call.exchange(kCmsCommand, 1, sendRequest(*message, std::span(data, length)), bytes,
                                    kAnswerCapacity)) {
    return code;
  }
  const kit::AnswerReader answer(bytes);
  if (!answer.has(kAnswerBytes)) return shortAnswer(call, answer.size());
  *flag = answer.u8(4) & QOR_MOST_CMS_RESULT_SENT;
  return 0;
}

uint32_t queueChecked(const kit::Call& call, const Qor_Most_Cms_Message_t* message, const uint8_t* data,
                      uint32_t length, uint32_t* flag) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return queueMessage(call, message, data, length, flag);
}

// The outcome of the last poll decides: an idle transmitter is success even when the time ran out with that poll.
uint32_t sendMessage(const kit::Call& call, uint32_t timeoutUs, const Qor_Most_Cms_Message_t* message,
                     const uint8_t* data, uint32_t length, uint32_t* status, uint32_t* result) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  uint32_t flag = 0;
  if (uint32_t code = queueMessage(call, message, data, length, &flag)) return code;
  uint32_t busy = 0;
  const std::optional<uint32_t> done =
      kit::pollUntil(timeoutUs / 1000 + kTransmitterGraceMs, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
        if (uint32_t code = readCmsTxState(call, status, &busy)) return code;
        return busy == 0 ? std::optional<uint32_t>(0) : std::nullopt;
      });
  if (done && *done != 0) return *done;
  *result = done ? flag : flag | QOR_MOST_CMS_RESULT_STILL_BUSY;
  return 0;
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Cms_QueueMessage(uint32_t port, const Qor_Most_Cms_Message_t* message, const uint8_t* data,
                                   uint32_t length, uint32_t* flag) try {
  return qor::most::queueChecked(Call(kMost, port), message, data, length, flag);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Cms_SendMessage(uint32_t port, uint32_t timeout, const Qor_Most_Cms_Message_t* message,
                                  const uint8_t* data, uint32_t length, uint32_t* status, uint32_t* result) try {
  return qor::most::sendMessage(Call(kMost, port), timeout, message, data, length, status, result);
} catch (...) {
  return kMost.failedCall(port);
}
