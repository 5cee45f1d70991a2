#include "function_blocks.hpp"

#include <algorithm>
#include <cstring>

#include "common_library.hpp"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

constexpr uint8_t kFunctionBlockCommand = 0xCB;
constexpr uint8_t kControlBytes = 1;  // the sub-function's low byte keys the answer
constexpr uint32_t kLastErrorSub = 7;
constexpr uint32_t kIdByNameSub = 8;
constexpr uint32_t kIdByNameHead = 12;
constexpr size_t kLastErrorTextOffset = 20;

}  // namespace

std::optional<Qor_Common_Fbp_Fb_LastError_t> decodeLastError(const kit::AnswerReader& answer) {
  if (!answer.has(kLastErrorTextOffset)) return std::nullopt;
  Qor_Common_Fbp_Fb_LastError_t error{};
  error.firstWord = answer.u32(4);
  error.secondWord = answer.u32(8);
  error.thirdWord = answer.u32(12);
  error.textLengthA = answer.u16(16);
  error.textLengthB = answer.u16(18);
  const auto text = answer.rest(kLastErrorTextOffset);
  const size_t count = std::min({size_t{error.textLengthA} + error.textLengthB, sizeof error.text, text.size()});
  std::copy_n(text.begin(), count, error.text);
  return error;
}

namespace {

uint32_t getLastError(const kit::Call& call, const Qor_Common_Fbp_Fb_LastErrorRequest_t* request,
                      Qor_Common_Fbp_Fb_LastError_t* result) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkFlags(request->flags, QOR_COMMON_FB_LAST_ERROR_FLAGS_VALID)) return code;
  kit::RecordWriter record(12);
  record.u32(kLastErrorSub).u32(request->flags).u32(request->blockId);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kFunctionBlockCommand, kControlBytes, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const auto error = decodeLastError(reader);
  if (!error) return call.shortAnswer(reader);
  *result = *error;
  return 0;
}

uint32_t getIdByName(const kit::Call& call, uint32_t selector, const char* name, uint32_t* id) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(name, "fbName")) return code;
  if (uint32_t code = call.checkPointer(id, "fbId")) return code;
  const size_t length = std::strlen(name);
  uint32_t room = 0;
  if (uint32_t code = call.pieceLength(kIdByNameHead, &room)) return code;
  // The length travels as u16.
  if (length > std::min<size_t>(room, UINT16_MAX)) {
    return call.fail(kit::GeneralError::InvalidDataLength, "'fbName' is too long");
  }
  kit::RecordWriter record(kIdByNameHead + length);
  record.u32(kIdByNameSub).u32(selector).u16(static_cast<uint16_t>(length)).u16(0).bytes(name, length);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kFunctionBlockCommand, kControlBytes, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint32_t found = reader.u32(4);
  if (!reader.complete()) return call.shortAnswer(reader);
  *id = found;
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_Fbp_Fb_GetLastError(uint32_t port, const Qor_Common_Fbp_Fb_LastErrorRequest_t* request,
                                        Qor_Common_Fbp_Fb_LastError_t* result) try {
  return qor::common::getLastError(qor::kit::Call(kCommon, port), request, result);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_Fbp_Fb_GetFbIdByFbName(uint32_t port, uint32_t selector, const char* fbName, uint32_t* fbId) try {
  return qor::common::getIdByName(qor::kit::Call(kCommon, port), selector, fbName, fbId);
} catch (...) {
  return kCommon.failedCall(port);
}
