// The DAQ and event messages that the firmware collected from the ECU, read in as many answers as it needs.
#include <algorithm>
#include <thread>
#include <vector>

#include "ccp_master.hpp"
#include "qor_kit/answer_reader.hpp"

namespace qor::can::ccp {
namespace {

constexpr size_t kMessagesOffset = 12;
constexpr size_t kFirmwareMessageBytes = 12;
constexpr size_t kValueByteOffset = 8;
constexpr uint8_t kLostBit = 0x01;
constexpr uint8_t kMoreBit = 0x02;

struct Kind {
  SubCommand subCommand;
  uint16_t Settings::*minimum;
};
constexpr Kind kDaq{kDaqMessages, &Settings::maxDaqMessages};
constexpr Kind kEvents{kEventMessages, &Settings::maxEventMessages};

Qor_Can_Ccp_Message_t messageAt(const kit::AnswerReader& reader, size_t offset) {
  Qor_Can_Ccp_Message_t message{};
  message.valueByte = reader.u8(offset + kValueByteOffset);
  std::ranges::copy(reader.bytes(offset, sizeof message.data), message.data);
  return message;
}

// Messages beyond the caller's room, or that an answer announces without carrying them, count as lost; the firmware
// keeps what it has not sent yet for the next call.
uint32_t collect(const kit::Call& call, uint8_t channel, const Kind& kind, uint32_t* flags, uint32_t* count,
                 Qor_Can_Ccp_Message_t* messages) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  if (uint32_t code = call.checkPointer(count, "count")) return code;
  const uint32_t minimum = settings().*kind.minimum;
  if (*count < minimum) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "minimum size: %u messages", minimum);
  }
  if (*count > 0) {
    if (uint32_t code = call.checkPointer(messages, "messages")) return code;
  }
  const uint32_t room = *count;
  *flags = 0;
  uint32_t collected = 0;
  kit::RecordWriter record(4);
  record.u8(kind.subCommand).u8(channel).u16(0);
  for (;;) {
    std::vector<uint8_t> answer;
    if (uint32_t code = call.exchange(kCommand, kControlBytes, record, answer)) return code;
    const kit::AnswerReader reader(answer);
    if (!reader.has(kMessagesOffset)) return call.shortAnswer(reader);
    const uint8_t answerFlags = reader.u8(4);
    const uint32_t announced = reader.u32(8);
    const uint32_t carried = reader.itemsThatFit(announced, kMessagesOffset, kFirmwareMessageBytes);
    const uint32_t taken = std::min(carried, room - collected);
    if ((answerFlags & kLostBit) != 0 || taken < announced) *flags |= QOR_CAN_CCP_MESSAGES_LOST;
    for (uint32_t index = 0; index < taken; ++index) {
      messages[collected++] = messageAt(reader, kMessagesOffset + index * kFirmwareMessageBytes);
    }
    if ((answerFlags & kMoreBit) == 0 || carried == 0 || collected == room) break;
    std::this_thread::yield();
  }
  *count = collected;
  return 0;
}

}  // namespace
}  // namespace qor::can::ccp

using qor::can::kCan;
using qor::kit::Call;
namespace ccp = qor::can::ccp;

uint32_t Qor_Can_Ccp_GetDaqMessages(uint32_t port, uint8_t channel, uint32_t* flags, uint32_t* count,
                                    Qor_Can_Ccp_Message_t* messages) try {
  return ccp::collect(Call(kCan, port), channel, ccp::kDaq, flags, count, messages);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_GetEventMessages(uint32_t port, uint8_t channel, uint32_t* flags, uint32_t* count,
                                      Qor_Can_Ccp_Message_t* messages) try {
  return ccp::collect(Call(kCan, port), channel, ccp::kEvents, flags, count, messages);
} catch (...) {
  return kCan.failedCall(port);
}
