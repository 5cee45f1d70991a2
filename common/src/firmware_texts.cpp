#include "firmware_texts.hpp"

#include <cstring>
#include <vector>

#include "common_library.hpp"
#include "controller_requests.hpp"
#include "qor_common_controller.h"

namespace qor::common {
namespace {

constexpr uint8_t kErrorTextCommand = 0xFD;
constexpr size_t kErrorTextHead = 4;  // the code the text belongs to

uint32_t bytesNeeded(const kit::Call& call, size_t needed) {
  return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %u", static_cast<uint32_t>(needed));
}

uint32_t checkOutput(const kit::Call& call, const char* buffer, const uint32_t* length) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(buffer, "buffer")) return code;
  return call.checkPointer(length, "length");
}

uint32_t firmwareVersion(const kit::Call& call, char* buffer, uint32_t* length) {
  if (uint32_t code = checkOutput(call, buffer, length)) return code;
  return readFirmwareVersion(call, buffer, length);
}

uint32_t firmwareErrorText(const kit::Call& call, uint32_t errorCode, char* buffer, uint32_t* length) {
  if (uint32_t code = checkOutput(call, buffer, length)) return code;
  kit::RecordWriter record(4);
  record.u32(errorCode);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kErrorTextCommand, 0, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kErrorTextHead)) return call.shortAnswer(reader);
  // The caller's room is measured against the whole answer, code included.
  if (*length < answer.size()) return bytesNeeded(call, answer.size());
  const auto text = reader.rest(kErrorTextHead);
  *length = static_cast<uint32_t>(text.size());
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  return 0;
}

}  // namespace

uint32_t readFirmwareVersion(const kit::Call& call, char* buffer, uint32_t* length) {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kFirmwareVersionCommand, 0, kit::RecordWriter(0), answer)) return code;
  if (*length < answer.size()) return bytesNeeded(call, answer.size());
  *length = static_cast<uint32_t>(answer.size());
  if (!answer.empty()) std::memcpy(buffer, answer.data(), answer.size());
  return 0;
}

}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_GetFirmwareVersion(uint32_t port, char* buffer, uint32_t* length) try {
  return qor::common::firmwareVersion(qor::kit::Call(kCommon, port), buffer, length);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetFirmwareErrorDescription(uint32_t port, uint32_t code, char* buffer, uint32_t* length) try {
  return qor::common::firmwareErrorText(qor::kit::Call(kCommon, port), code, buffer, length);
} catch (...) {
  return kCommon.failedCall(port);
}
