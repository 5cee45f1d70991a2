// A request on one queue and its reply on another, both bounded in time: the engine of MsgSndLinux.
#pragma once

#include <mqueue.h>

#include <cstddef>
#include <cstdint>

namespace qor {

// Sends message; with a reply buffer, receives one reply (a reply larger than replyCapacity is cut, and logged)
// and stores the number of bytes copied in *received. 0 or 0x2000100.
uint32_t exchangeOnQueues(mqd_t sendQueue, const void* message, uint32_t length, mqd_t receiveQueue, void* reply,
                          uint32_t replyCapacity, size_t* received);

} // namespace qor
