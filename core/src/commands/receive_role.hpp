// Who receives from a port's response queue. While no caller waits, the response thread receives everything. A
// caller that waits for an answer takes the receive role when it is free and receives for itself, so that its answer
// needs no hand-off between threads; whatever else it receives goes through the same handlers as on the response
// thread, except the messages whose handlers run user code (monitor callbacks, the asynchronous error callback): it
// leaves those in the receive buffer for the response thread. The response thread takes the role back once no caller
// has waited for a short grace, so that a caller's next command finds the role free; the grace bounds how long an
// unasked message can wait in the queue while no one receives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_client_state.h"
#include "qor_helpers.h"
#include "qor_shared/wait_pair.hpp"

namespace qor::client {

struct ReceiveRole {
  enum class Holder : uint8_t { None, ResponseThread, Caller };
  // All under the mutex of the port's events.
  Holder holder = Holder::None;
  uint32_t callersWaiting = 0;  // callers on the events' condition: woken when the role comes free
  bool threadWantsRole = false; // the response thread on threadCondition: woken when the role comes free
  bool ended = false;           // the queue's last message came, or the queue failed: nobody receives any more
  size_t leftLength = 0;        // a message a caller left in the receive buffer for the response thread
  uint64_t callerSeenNs = 0;    // when a caller last waited or received, on the monotonic clock
  // The response thread's own condition, so that the events' broadcasts of every command do not wake it.
  qor::MonotonicCondition threadCondition;
  // The response thread's alone: when its last message came, and whether it came as close behind the one before as
  // in a stream (then the next is looked for before the thread sleeps).
  uint64_t threadMessageNs = 0;
  bool threadInStream = false;
};

// Waits until event is set (0) or the error event is set (its code), at most milliseconds, receiving for itself
// while the role is free; a time-out records 0x2000205 without text for the port and returns it.
uint32_t waitForEvent(Qor_PortInfo_t& entry, InternalEvent& event, uint32_t milliseconds);

// The response thread's turn: waits a slice at most for the role, then receives and handles one message (or the one
// a caller left). stopping (the port closes): callers no longer take the role, the thread takes it at once. False
// once nobody receives any more.
bool responseThreadTurn(Qor_PortInfo_t& entry, bool stopping);

// The response thread's end: no one receives from the port's queue from now on; a caller's receive in progress is
// waited for (it lasts a slice at most).
void endReceiving(Qor_PortInfo_t& entry);

} // namespace qor::client
