#include "qor_kit/call.hpp"

#include <algorithm>

#include "failure_text.hpp"
#include "qor_api.h"

namespace qor::kit {

uint32_t Call::fail(uint32_t code, const char* format, ...) const {
  va_list arguments;
  va_start(arguments, format);
  recordFailure(port_, code, format, arguments);
  va_end(arguments);
  return code;
}

uint32_t Call::fail(GeneralError error, const char* format, ...) const {
  const uint32_t code = library_.code(error);
  va_list arguments;
  va_start(arguments, format);
  recordFailure(port_, code, format, arguments);
  va_end(arguments);
  return code;
}

uint32_t Call::shortAnswer(const AnswerReader& answer) const {
  return fail(GeneralError::InvalidResponseLength, "response of %zu bytes is too short", answer.size());
}

uint32_t Call::checkPort() const { return Qor_CheckPortHandle(port_); }

uint32_t Call::checkInterface(uint32_t interfaceType, const char* wrongTypeText) const {
  if (uint32_t code = checkPort()) return code;
  if ((Qor_GetInterfaceType(port_) & 0xFFu) != interfaceType) {
    return fail(GeneralError::WrongInterfaceType, "%s", wrongTypeText);
  }
  return 0;
}

uint32_t Call::checkFlags(uint32_t flags, uint32_t allowed) const {
  return (flags & ~allowed) != 0 ? fail(GeneralError::UnknownFlag) : 0;
}

uint32_t Call::checkPointer(const void* pointer, const char* name) const {
  return pointer == nullptr ? fail(GeneralError::InvalidParameter, "'%s' is NULL", name) : 0;
}

uint32_t Call::checkLock(uint32_t lockBits) const {
  return (Qor_GetLockStatus(port_) & lockBits) != lockBits ? fail(GeneralError::NoLock) : 0;
}

uint32_t Call::checkReserved(std::span<const uint8_t> reserved, const char* text) const {
  const bool clear = std::all_of(reserved.begin(), reserved.end(), [](uint8_t byte) { return byte == 0; });
  return clear ? 0 : fail(GeneralError::InvalidParameter, "%s", text);
}

uint32_t Call::parameterLength(uint32_t* length) const { return Qor_GetParamSize(port_, length); }

uint32_t Call::pieceLength(uint32_t headBytes, uint32_t* piece) const {
  uint32_t length = 0;
  if (uint32_t code = parameterLength(&length)) return code;
  if (length <= headBytes) {
    return fail(GeneralError::InvalidDataLength, "parameter length %u leaves no room after %u bytes", length,
                headBytes);
  }
  *piece = length - headBytes;
  return 0;
}

uint32_t Call::refusedRecord(const RecordWriter& record) const {
  return fail(GeneralError::InvalidDataLength, "record longer than %zu bytes", record.capacity());
}

uint32_t Call::exchange(uint8_t command, uint8_t controlBytes, const RecordWriter& record,
                        std::vector<uint8_t>& answer, uint32_t capacity) const {
  if (record.overflowed()) return refusedRecord(record);
  answer.resize(capacity);
  uint32_t size = capacity;
  const auto bytes = record.view();
  const uint32_t code = Qor_CommandWithResponseEx(port_, 0, command, controlBytes, bytes.data(),
                                                  static_cast<uint32_t>(bytes.size()), answer.data(), &size);
  answer.resize(code == 0 ? std::min(size, capacity) : 0);
  return code;
}

uint32_t Call::request(uint8_t command, uint8_t controlBytes, const RecordWriter& record) const {
  if (record.overflowed()) return refusedRecord(record);
  const auto bytes = record.view();
  return Qor_CommandWithResponseEx(port_, 1, command, controlBytes, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                   nullptr, nullptr);
}

uint32_t Call::send(uint8_t command, const RecordWriter& record) const {
  if (record.overflowed()) return refusedRecord(record);
  const auto bytes = record.view();
  return Qor_Command(port_, command, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace qor::kit
