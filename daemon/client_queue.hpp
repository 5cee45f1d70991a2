// The daemon's ends of client queues. Sends are bounded in time and never larger than the queue's message size, so a
// client that stops reading (or made its queue small) can delay the daemon by one bounded wait, never stall it. An
// application's response queue is shared by the port's threads: what it cannot take is held back, and a send waits
// (bounded) only once much is held back already.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "qor_shared/protocol.hpp"

namespace qor::daemon {

using protocol::Buffer;
using protocol::Bytes;

// The longest a send waits for room in a client's queue.
inline constexpr std::chrono::milliseconds kClientSendTimeout{500};

// A queue the daemon writes: a private pair's "-R", or an application's response queue.
class ReplyQueue {
public:
  enum class Sent { Yes, TooLarge, Dropped, Failed };
  // What a send does when the queue is full: wait for room (bounded), or hold the message back (bounded) for later
  // delivery, in order, so that the sender goes on at once.
  enum class WhenFull { Wait, HoldBack };

  explicit ReplyQueue(WhenFull whenFull = WhenFull::Wait);
  ReplyQueue(const ReplyQueue&) = delete;
  ReplyQueue& operator=(const ReplyQueue&) = delete;
  ~ReplyQueue();

  // Takes a descriptor opened for writing; false (and the descriptor closed) when its attributes cannot be read.
  bool adopt(mqd_t descriptor);
  // Closes the descriptor; later sends fail.
  void close();

  bool isOpen() const;
  // The queue's message size: the longest message a send takes.
  size_t messageSize() const;
  // The descriptor number, for error texts.
  int number() const;

  // Sends message. Wait: waits at most timeout for room; after one send ran out of time the queue counts as
  // congested and further sends do not wait until one succeeds again. HoldBack: a message the queue cannot take now
  // is held back; only when kHeldBackBytes are held back already does the send wait, at most timeout, for the queue
  // to take the oldest ones, so that an application that reads, only more slowly than its device sends, slows the
  // sender down instead of losing data. A message that still finds no room is Dropped, and the queue counts as
  // congested (sends drop at once) until it takes a message again. On Failed and Dropped errno holds the reason.
  Sent send(Bytes message, std::chrono::milliseconds timeout = kClientSendTimeout);
  // Delivers what is held back as far as the queue takes it now; true when nothing is left.
  bool deliverHeldBack();
  // The request queue of the thread that delivers what is held back, opened for writing without waiting (-1: none):
  // a message held back while none was wakes that thread with an empty request, so that the thread can wait in a
  // plain receive while nothing is held back. The queue does not own the descriptor.
  void setDeliveryWake(mqd_t requestWriter);
  // Wakes that thread now (an empty request), for instance to see that its application closes.
  void wakeRequestReader();
  // For the reader of request while messages are held back: waits at most timeout until request has a message or the
  // queue has room again, so that held-back messages go out as soon as they can, not a receive's wait later.
  void waitForRequestOrRoom(mqd_t request, std::chrono::milliseconds timeout) const;
  // Messages dropped since the last delivery.
  uint64_t dropsInARow() const;

  static constexpr size_t kHeldBackBytes = 1 << 20;

private:
  // With mutex_ held: one message without waiting beyond deadline.
  bool sendNow(Bytes message, const timespec& deadline);
  bool deliverHeldBackLocked();
  void wakeRequestReaderLocked();
  // The oldest held-back message, sent or (on a failure other than a full queue) dropped; false when the queue was
  // still full at deadline.
  bool deliverOldest(const timespec& deadline);
  // Delivers held-back messages, waiting at most timeout, until bytes more fit among them; false (and congested)
  // when they do not.
  bool makeRoom(size_t bytes, std::chrono::milliseconds timeout);
  // A held-back copy of message, in a spare buffer when there is one.
  std::vector<uint8_t> holdCopy(Bytes message);

  const WhenFull whenFull_;
  mutable std::mutex mutex_; // held during a send, so the descriptor is never closed under it
  mqd_t descriptor_ = -1;
  size_t messageSize_ = 0;
  bool congested_ = false; // a wait for room ran out of time; cleared by the next message the queue takes
  std::deque<std::vector<uint8_t>> heldBack_;
  size_t heldBackBytes_ = 0;
  // Buffers of delivered held-back messages, reused (their capacities at most kHeldBackBytes): a stream held back
  // would otherwise allocate each message and, as the heap shrinks and grows again, fault its pages in anew.
  std::vector<std::vector<uint8_t>> spare_;
  size_t spareBytes_ = 0;
  uint64_t dropsInARow_ = 0;
  mqd_t deliveryWake_ = -1; // sent an empty message when a message is held back while none was
};

// Receives one message into buffer, waiting at most timeout: its length, 0 when nothing came (or a signal
// interrupted), -1 on failure with errno set.
ssize_t receiveWithin(mqd_t queue, Buffer buffer, std::chrono::milliseconds timeout);

} // namespace qor::daemon
