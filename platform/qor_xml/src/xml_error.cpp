#include "xml_error.hpp"

#include <cstdarg>
#include <cstdio>

namespace qor::xml {
namespace {

// Per thread: one thread's failure must not replace the text that another is about to read.
thread_local char tLastError[1024] = "";

} // namespace

uint32_t fail(uint32_t code, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(tLastError, sizeof tLastError, format, arguments);
  va_end(arguments);
  return code;
}

} // namespace qor::xml

extern "C" const char* Qor_Xml_GetLastErrorDescription(void) { return qor::xml::tLastError; }
