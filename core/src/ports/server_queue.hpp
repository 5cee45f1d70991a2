// "/Qor_API", the daemon's well-known queue. A daemon that starts after the library was loaded, or restarts, serves
// a new queue under the same name, and the descriptor held since then reaches nobody: each use checks the held
// descriptor against the name and takes the queue that is there now.
#pragma once

#include <cstdint>
#include <ctime>

namespace qor::client {

// Whether a daemon's queue is there now.
bool daemonQueueExists();

// Sends one message to the daemon that serves the name now, bounded by the deadline (realtime clock). 0, or
// 0x2000100 when there is no queue or the send fails.
uint32_t sendToDaemon(const void* message, uint32_t length, const timespec& deadline);

} // namespace qor::client
