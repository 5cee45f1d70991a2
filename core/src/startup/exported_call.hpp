// No exception leaves an exported function: each one's body is a function-try-block whose handler is one of these.
//
//   uint32_t Qor_Something(uint32_t port, ...) try {
//     ...
//   } catch (...) {
//     return failedCall(port);
//   }
//
// Exhausted memory gives 0x2000007 with the table's text; any other exception the internal error with its own text.
// Both are recorded for the port when it is open, and for the process.
#pragma once

#include <cstdint>
#include <exception>
#include <new>

#include "qor_api.h"

namespace qor::client {

// The error table lists no internal error of the library's own module; the system's general one is used.
inline constexpr uint32_t kInternalError = QOR_ERR_SERVER_INTERNAL;

// Records the exception in flight (call only inside a handler) and returns its code. Through the exported reporter,
// which copies into fixed buffers and allocates nothing: so the objects that are linked beside the library use it too.
inline uint32_t failedCall(uint32_t port) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Qor_ErrorHandler(port, QOR_ERR_API_NOT_ENOUGH_MEMORY, "%s", "");
  } catch (const std::exception& error) {
    return Qor_ErrorHandler(port, kInternalError, "%s", error.what());
  } catch (...) {
    return Qor_ErrorHandler(port, kInternalError, "unknown exception");
  }
}

// For exported functions that return a value instead of a code: records as above and returns the function's fixed
// value for a bad handle.
template <class Value>
Value failedCall(uint32_t port, Value badHandleValue) noexcept {
  failedCall(port);
  return badHandleValue;
}

} // namespace qor::client
