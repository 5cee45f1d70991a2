// Creating a queue with a mode of the caller's choosing: Create_MsgQueue gives every queue mode 0666.
#pragma once

#include <mqueue.h>
#include <sys/types.h>

#include <cstdint>

namespace qor {

// As Create_MsgQueue, the queue created with mode (never widened or narrowed by the umask).
mqd_t createQueue(const char* name, uint32_t messageSize, bool write, mode_t mode);

} // namespace qor
