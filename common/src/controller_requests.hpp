// The firmware's information commands, the same for the synchronous calls and the asynchronous triples.
#pragma once

#include <cstdint>

#include "qor_kit/record_writer.hpp"

namespace qor::common {

inline constexpr uint8_t kFirmwareVersionCommand = 0xF0;
inline constexpr uint8_t kInterfaceInfoCommand = 0xFE;   // no parameters
inline constexpr uint8_t kControllerQueryCommand = 0xFF;  // the first word selects the query

// Queries of command 0xFF.
enum ControllerQuery : uint32_t {
  kControllerInfoQuery = 0,
  kTransceiverInfoQuery = 2,  // the answer repeats the query's first byte
  kInterfaceNumberQuery = 5,  // the same
};

inline kit::RecordWriter controllerQuery(ControllerQuery query) {
  kit::RecordWriter record(4);
  record.u32(query);
  return record;
}

}  // namespace qor::common
