#include <string_view>
#include <vector>

#include "common_library.hpp"
#include "controller_answers.hpp"
#include "controller_requests.hpp"
#include "firmware_texts.hpp"
#include "qor_common_controller.h"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

constexpr uint32_t kVersionRoom = 1024;
constexpr uint32_t kLastYearWithoutTransceiverQuery = 2007;

// Firmware dated up to 2007 does not know the transceiver query; a version without a date is taken as newer.
uint32_t checkFirmwareAge(const kit::Call& call) {
  char text[kVersionRoom];
  uint32_t length = sizeof text;
  if (uint32_t code = readFirmwareVersion(call, text, &length)) return code;
  const std::optional<uint32_t> year = firmwareYear(std::string_view(text, length));
  if (year && *year >= 1 && *year <= kLastYearWithoutTransceiverQuery) {
    return call.fail(kCommon.code(kInvalidFirmwareVersion), "firmware is too old");
  }
  return 0;
}

uint32_t transceiverInfo(const kit::Call& call, Qor_Common_TransceiverInfo_t* info) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  if (uint32_t code = checkFirmwareAge(call)) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kControllerQueryCommand, 1, controllerQuery(kTransceiverInfoQuery), answer)) {
    return code;
  }
  Qor_Common_TransceiverInfo_t decoded;
  if (!decodeTransceiverInfo(answer, decoded)) return call.shortAnswer(kit::AnswerReader(answer));
  *info = decoded;
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_GetTransceiverInfo(uint32_t port, Qor_Common_TransceiverInfo_t* info) try {
  return qor::common::transceiverInfo(qor::kit::Call(kCommon, port), info);
} catch (...) {
  return kCommon.failedCall(port);
}
