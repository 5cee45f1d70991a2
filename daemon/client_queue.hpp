// The daemon's ends of client queues. Sends are bounded in time and never larger than the queue's message size, so a
// client that stops reading (or made its queue small) can delay the daemon by one bounded wait, never stall it.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>

#include "qor_shared/protocol.hpp"

namespace qor::daemon {

using protocol::Buffer;
using protocol::Bytes;

// The longest a send waits for room in a client's queue.
inline constexpr std::chrono::milliseconds kClientSendTimeout{500};

// A queue the daemon writes: a private pair's "-R", or an application's response queue.
class ReplyQueue {
public:
  enum class Sent { Yes, TooLarge, Failed };

  ReplyQueue() = default;
  ReplyQueue(const ReplyQueue&) = delete;
  ReplyQueue& operator=(const ReplyQueue&) = delete;
  ~ReplyQueue() { close(); }

  // Takes a descriptor opened for writing; false (and the descriptor closed) when its attributes cannot be read.
  bool adopt(mqd_t descriptor);
  // Closes the descriptor; later sends fail.
  void close();

  bool isOpen() const;
  // The queue's message size: the longest message a send takes.
  size_t messageSize() const;
  // The descriptor number, for error texts.
  int number() const;

  // Sends message, waiting at most timeout for room. After one send ran out of time the queue counts as congested
  // and further sends do not wait until one succeeds again. On Failed errno holds the reason.
  Sent send(Bytes message, std::chrono::milliseconds timeout = kClientSendTimeout);

private:
  mutable std::mutex mutex_; // held during a send, so the descriptor is never closed under it
  mqd_t descriptor_ = -1;
  size_t messageSize_ = 0;
  bool congested_ = false;
};

// Receives one message into buffer, waiting at most timeout: its length, 0 when nothing came (or a signal
// interrupted), -1 on failure with errno set.
ssize_t receiveWithin(mqd_t queue, Buffer buffer, std::chrono::milliseconds timeout);

} // namespace qor::daemon
