// A request on one queue and its reply on another, both bounded in time: the engine of MsgSndLinux.
#pragma once

#include <mqueue.h>

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace qor {

// Sends message; with a reply buffer, receives one reply (a reply larger than replyCapacity is cut, and logged)
// and stores the number of bytes copied in *received. 0 or 0x2000100.
// Its two steps, each bounded by the deadline (realtime clock). 0 or 0x2000100.
uint32_t sendOnQueue(mqd_t queue, const void* message, uint32_t length, const timespec& deadline);
uint32_t receiveReply(mqd_t queue, void* reply, uint32_t replyCapacity, size_t* received, const timespec& deadline);

uint32_t exchangeOnQueues(mqd_t sendQueue, const void* message, uint32_t length, mqd_t receiveQueue, void* reply,
                          uint32_t replyCapacity, size_t* received);

} // namespace qor
