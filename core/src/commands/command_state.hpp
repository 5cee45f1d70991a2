// The state of a port's command exchange: one exchange at a time under its lock, the answer it waits for, and the
// message it builds its commands in.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_helpers.h"
#include "qor_shared/scoped_lock.hpp"

// The one answer a caller of the port waits for. Guarded by the port's general section.
struct ExpectedResponse {
  uint32_t armedPort = QOR_NO_PORT; // QOR_NO_PORT while nothing is expected
  uint8_t command = 0;
  uint8_t controlCount = 0;
  uint32_t frameType = 0;
  uint8_t control[8] = {};
  void* buffer = nullptr;
  uint32_t* size = nullptr; // capacity in, length out
};

namespace qor::client {

struct CommandExchange {
  qor::CriticalSection lock; // one exchange at a time
  ExpectedResponse expected;
  // the command message: ServerRequestHeader, FirmwareMessageHeader, parameters
  std::vector<uint8_t> messageTemplate;
};

} // namespace qor::client
