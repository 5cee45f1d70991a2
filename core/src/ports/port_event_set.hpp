// The events a caller of a port waits on: one condition variable (monotonic clock) and one mutex for all of them.
#pragma once

#include <cstdint>

#include "qor_helpers.h"
#include "qor_shared/wait_pair.hpp"

namespace qor::client {

struct PortEvents {
  qor::WaitPair pair;
  InternalEvent acknowledge{};
  InternalEvent response{};
  InternalEvent lockGranted{};
  InternalEvent lockReleased{};
  InternalEvent error{};
  InternalEvent monitorStarted{};
  InternalEvent monitorStopped{};
  InternalEvent fpgaReply{};
  InternalEvent apixReply{};
  InternalEvent monitorLockGranted{};
  InternalEvent monitorLockReleased{};
  uint32_t errorCode = 0; // the code that comes with the error event, under the pair's mutex
};

} // namespace qor::client
