// The firmware buffer of a port while it is enabled, under its own section: the response thread writes into it
// only under the same section.
#pragma once

#include <memory>

#include "async/firmware_buffer.hpp"
#include "qor_shared/scoped_lock.hpp"

namespace qor::client {

struct FirmwareFrames {
  qor::CriticalSection section;
  std::unique_ptr<FirmwareBuffer> buffer; // none while disabled
};

} // namespace qor::client
