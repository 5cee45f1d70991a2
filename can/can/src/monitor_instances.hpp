// What the CAN monitor keeps per port and monitor instance: the reader that the start chose, until the instance
// ends however it ends (the clean-up given to Qor_Monitor_Init) or the port closes.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_monitor.h"

namespace qor::can {

// Reads up to size bytes of items of the instance into items; *count gives the items returned.
using Reader = uint32_t (*)(const kit::Call& call, uint8_t instance, uint32_t size, uint32_t* count, void* items);

// 0, or the core's code when the port has no state.
uint32_t enterReader(uint32_t port, uint8_t instance, Reader reader);
// None when the instance has no reader.
Reader readerOf(uint32_t port, uint8_t instance);
void forgetReader(uint32_t port, uint8_t instance);
void forgetAllReaders();

// The clean-up of every instance the CAN monitor starts: it forgets the reader and destroys the session in the
// instance's context.
Qor_Monitor_Cleanup_t instanceCleanup(uint8_t instance);

}  // namespace qor::can
