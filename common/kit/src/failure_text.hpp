// The one place where a library's failure text is formatted and handed to the core's error store.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace qor::kit {

uint32_t recordFailure(uint32_t port, uint32_t code, const char* format, va_list arguments);

}  // namespace qor::kit
