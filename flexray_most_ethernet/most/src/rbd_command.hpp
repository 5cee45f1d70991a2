// The ring break diagnosis's command (0x25): its selectors (the one control byte) and the head of every record.
#pragma once

#include <cstdint>

#include "qor_kit/record_writer.hpp"

namespace qor::most {

inline constexpr uint8_t kRbdCommand = 0x25;
inline constexpr uint32_t kRbdAnswerCapacity = 72;

enum RbdSelector : uint8_t {
  kRbdReset = 0,
  kRbdPortOutput = 1,
  kRbdPortState = 2,
  kRbdSetResponses = 3,
  kRbdInitiate = 4,
  kRbdSystemState = 5,
  kRbdResponses = 6,
};

// A record of length bytes beginning with the selector's four-byte head.
inline kit::RecordWriter rbdRecord(size_t length, RbdSelector selector) {
  kit::RecordWriter record(length);
  record.u8(selector).u8(0).u16(0);
  return record;
}

}  // namespace qor::most
