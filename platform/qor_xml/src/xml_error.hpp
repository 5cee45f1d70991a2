// The library's error reporting: codes with the text of the calling thread's last failure.
#pragma once

#include <cstdint>
#include <exception>
#include <new>

#include "qor_xml.h"

namespace qor::xml {

// Keeps the formatted text as the thread's last failure and returns code.
uint32_t fail(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Runs body, turning an exception into a code: nothing may escape through the C interface.
template <class Body>
uint32_t guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return fail(QOR_XML_ERR_NOT_ENOUGH_MEMORY, "not enough memory");
  } catch (const std::exception& error) {
    return fail(QOR_XML_ERR_NODE, "%s", error.what());
  }
}

} // namespace qor::xml
