// Reserved bytes of a caller's record checked one by one: the highest offset whose byte is not zero is named, as
// "invalid parameter" (the CAN and MOST libraries' callers compare the text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "qor_kit/call.hpp"

namespace qor::kit {

template <class Record>
uint32_t checkReservedOffsets(const Call& call, const Record& record, std::span<const size_t> offsets) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  for (auto offset = offsets.rbegin(); offset != offsets.rend(); ++offset) {
    if (bytes[*offset] != 0) {
      return call.fail(GeneralError::InvalidParameter, "Invalid reserved parameter byte: offset %zu", *offset);
    }
  }
  return 0;
}

}  // namespace qor::kit
