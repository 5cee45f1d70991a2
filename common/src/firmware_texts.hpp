// The firmware's version text, for the exported call and for the checks that depend on the firmware's age.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::common {

// *length: room in, text length out; too little room gives "Bytes needed" and leaves the buffer untouched.
uint32_t readFirmwareVersion(const kit::Call& call, char* buffer, uint32_t* length);

}  // namespace qor::common
