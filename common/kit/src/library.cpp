#include "qor_kit/library.hpp"

#include <cstdio>
#include <exception>
#include <new>

#include "failure_text.hpp"
#include "qor_api.h"
#include "qor_client_state.h"

namespace qor::kit {

uint32_t recordFailure(uint32_t port, uint32_t code, const char* format, va_list arguments) {
  char text[QOR_ERROR_TEXT_SIZE];
  std::vsnprintf(text, sizeof text, format, arguments);
  return Qor_ErrorHandler(port, code, "%s", text);
}

uint32_t Library::fail(uint32_t port, uint32_t code, const char* format, ...) const {
  va_list arguments;
  va_start(arguments, format);
  recordFailure(port, code, format, arguments);
  va_end(arguments);
  return code;
}

uint32_t Library::failedCall(uint32_t port) const noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Qor_ErrorHandler(port, outOfMemory_ != 0 ? code(outOfMemory_) : QOR_ERR_API_NOT_ENOUGH_MEMORY, "%s", "");
  } catch (const std::exception& error) {
    return Qor_ErrorHandler(port, QOR_ERR_SERVER_INTERNAL, "%s", error.what());
  } catch (...) {
    return Qor_ErrorHandler(port, QOR_ERR_SERVER_INTERNAL, "unknown exception");
  }
}

}  // namespace qor::kit
