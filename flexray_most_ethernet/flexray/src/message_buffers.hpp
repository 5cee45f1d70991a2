// What the message buffer functions share: the payload checks and the handle that a definition answers with.
#pragma once

#include <cstdint>

#include "flexray_library.hpp"

namespace qor::flexray {

// Payload lengths above 127 words, and data missing for a payload, are refused.
uint32_t checkPayload(const kit::Call& call, uint8_t words, const uint16_t* data, const char* name = "data");

// Sends a command 0x20 record whose answer carries a handle at +4. *handle gets it, or 0 on any failure (a short
// answer included).
uint32_t defineForHandle(const kit::Call& call, const kit::RecordWriter& record, uint32_t* handle);

}  // namespace qor::flexray
