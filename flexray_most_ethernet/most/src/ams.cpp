#include "ams.hpp"

#include <vector>

namespace qor::most::ams {

kit::RecordWriter record(Selector selector, uint8_t channel, uint32_t capacity) {
  kit::RecordWriter written(capacity);
  written.u8(selector).u8(channel).u16(0);
  return written;
}

uint32_t switchNotifications(const kit::Call& call, uint8_t channel, Notification which, bool on) {
  if (uint32_t code = checkMostInterface(call)) return code;
  kit::RecordWriter request = record(kNotificationSwitch, channel, 8);
  request.u8(static_cast<uint8_t>(which)).u8(0).u8(on ? 1 : 0).u8(0);
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, request, answer);
}

void decodeResponseHead(const kit::AnswerReader& answer, Qor_Most_Ams_Response_t& response) {
  response.sourceAddress = answer.u16(12);
  response.fblockId = answer.u8(14);
  response.instanceId = answer.u8(15);
  response.functionId = answer.u16(16);
  response.operationType = answer.u8(18);
  response.messageType = answer.u8(19);
}

}  // namespace qor::most::ams
