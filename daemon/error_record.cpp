#include "error_record.hpp"

#include <cstdio>

namespace qor::daemon {

std::string formatText(const char* format, va_list arguments) {
  char text[kErrorTextSize];
  vsnprintf(text, sizeof text, format, arguments);
  return text;
}

void ErrorRecord::store(uint32_t code, std::string_view text) {
  std::lock_guard lock(mutex_);
  last_.code = code;
  last_.text.assign(text.substr(0, kErrorTextSize - 1));
}

ErrorRecord::Entry ErrorRecord::last() const {
  std::lock_guard lock(mutex_);
  return last_;
}

} // namespace qor::daemon
