#include "trace_library.hpp"

#include "qor_helpers.h"

namespace qor::trace {

TraceException::TraceException(uint32_t port, TraceError error, const std::string& text)
    : TraceException(port, kTrace.code(error), text) {}

TraceException::TraceException(uint32_t port, uint32_t code, const std::string& text)
    : code_(kTrace.fail(port, code, "%s", text.c_str())) {}

void throwFileError(const std::string& what, int error) {
  throw TraceException(kNoPort, kFileError,
                       what + ": " + Qor_Internal_GetWindowsErrorDescription(static_cast<uint32_t>(error)));
}

}  // namespace qor::trace
