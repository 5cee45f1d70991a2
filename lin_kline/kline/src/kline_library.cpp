#include "kline_library.hpp"

#include "qor_api.h"

namespace qor::kline {

uint32_t checkKLine(const kit::Call& call) {
  if ((Qor_GetInterfaceType(call.port()) & 0xFF) == kKLineInterface) return 0;
  if (uint32_t code = call.checkPort()) return code;
  return call.fail(kKLine.code(kWrongInterfaceType), "K-Line Interface expected!!!");
}

uint32_t checkCommandFlags(const kit::Call& call, uint32_t flags, uint32_t allowed) {
  if ((flags & ~allowed) == 0) return 0;
  return call.fail(kKLine.code(kUnknownFlag), "command flag value '0x%04x' is unknown", flags);
}

uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name) {
  return pointer == nullptr ? call.fail(kKLine.code(kInvalidParameter), "'%s' is NULL", name) : 0;
}

uint32_t shortAnswer(const kit::Call& call, const kit::AnswerReader& answer) {
  return call.fail(kKLine.code(kInvalidParameter), "response of %zu bytes is too short", answer.size());
}

}  // namespace qor::kline
