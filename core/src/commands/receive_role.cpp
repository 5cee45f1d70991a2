#include "commands/receive_role.hpp"

#include <mqueue.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>
#include <vector>

#include "commands/response_messages.hpp"
#include "ports/port_context.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"
#include "startup/error_store.hpp"

namespace qor::client {
namespace {

using Holder = ReceiveRole::Holder;

constexpr uint64_t kNsPerMs = 1000000;
constexpr uint64_t kNsPerSecond = 1000000000;
// A receive or a wait for the role lasts this long at most, so that the stop byte is seen.
constexpr uint64_t kSliceNs = 100 * kNsPerMs;
// The response thread's receive while it is not stopping: any message, the reply to the close among them, ends it
// sooner; so that an idle port wakes the thread seldom.
constexpr uint64_t kIdleReceiveNs = 5 * kSliceNs;
// The response thread leaves the role to callers this long after a caller last waited or received.
constexpr uint64_t kCallerGraceNs = 5 * kNsPerMs;
// The response thread's end waits this long at most for a caller's receive in progress.
constexpr uint64_t kEndWaitNs = 3 * kSliceNs;
// Messages that come closer behind each other than a sleeping reader's wake-up takes are a stream: the response
// thread then looks for the next one, at most kStreamLookNs, before it sleeps, since waking it would cost more than
// looking and would slow the stream down. Ports with moderate traffic never spend time looking.
constexpr uint64_t kStreamGapNs = 30 * 1000;
constexpr uint64_t kStreamLookNs = 100 * 1000;

uint64_t nowOn(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<uint64_t>(now.tv_sec) * kNsPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t monotonicNow() { return nowOn(CLOCK_MONOTONIC); }

timespec asTimespec(uint64_t ns) {
  return timespec{static_cast<time_t>(ns / kNsPerSecond), static_cast<long>(ns % kNsPerSecond)};
}

// Both conditions of a port wait on the monotonic clock.
void waitUntil(pthread_cond_t& condition, MutexLock& lock, uint64_t untilNs) {
  const timespec until = asTimespec(untilNs);
  pthread_cond_timedwait(&condition, lock.native(), &until);
}

// Who must hear that the holder gave the role up. They are woken after the mutex is left.
struct Wakes {
  bool thread = false;
  bool callers = false;
};

Wakes release(ReceiveRole& role, Delivery delivery, size_t length) {
  role.holder = Holder::None;
  if (delivery == Delivery::LeftForResponseThread) role.leftLength = length;
  if (delivery == Delivery::LastMessage) role.ended = true;
  return {role.threadWantsRole || role.leftLength != 0 || role.ended, role.callersWaiting != 0};
}

void wake(Qor_PortContext& context, Wakes wakes) {
  if (wakes.thread) pthread_cond_signal(&context.receiving.threadCondition.native());
  if (wakes.callers) pthread_cond_broadcast(&context.events.pair.condition());
}

// A message received without sleeping, looked for until lookNs has passed (at least once); -1 with errno ETIMEDOUT
// when none came.
ssize_t receiveWithoutSleeping(mqd_t queue, std::vector<uint8_t>& buffer, uint64_t lookNs) {
  const timespec past{0, 0};
  const uint64_t lookEnd = monotonicNow() + lookNs;
  ssize_t received = -1;
  do {
    received = mq_timedreceive(queue, reinterpret_cast<char*>(buffer.data()), buffer.size(), nullptr, &past);
  } while (received < 0 && errno == ETIMEDOUT && monotonicNow() < lookEnd);
  return received;
}

// The holder's receive into the port's buffer, until untilNs at most, and the delivery of what came. inStream: look
// for it a while before sleeping.
Delivery receiveAndDeliver(Qor_PortInfo_t& entry, Qor_PortContext& context, Receiver receiver, uint64_t untilNs,
                           size_t& length, bool inStream = false) {
  length = 0;
  std::vector<uint8_t>& buffer = context.queues.receiveBuffer;
  ssize_t received = inStream ? receiveWithoutSleeping(context.queues.response, buffer, kStreamLookNs) : -1;
  if (!inStream || (received < 0 && errno == ETIMEDOUT)) {
    const uint64_t now = monotonicNow();
    // The queue's wait takes the realtime clock.
    const timespec deadline = asTimespec(nowOn(CLOCK_REALTIME) + (untilNs > now ? untilNs - now : 0));
    received =
        mq_timedreceive(context.queues.response, reinterpret_cast<char*>(buffer.data()), buffer.size(), nullptr, &deadline);
  }
  if (received < 0) return errno == ETIMEDOUT || errno == EINTR ? Delivery::Handled : Delivery::LastMessage;
  length = static_cast<size_t>(received);
  context.queues.lastReceivedLength = static_cast<uint32_t>(received);
  return deliverResponseMessage(entry, buffer.data(), length, receiver);
}

bool callerMayReceive(Qor_PortInfo_t& entry, const Qor_PortContext& context) {
  const ReceiveRole& role = context.receiving;
  return role.holder == Holder::None && !role.ended && role.leftLength == 0 &&
         !portFlag(entry, PortFlag::StopResponseThread) && context.queues.response != -1;
}

// The thread takes the role when it is free and no caller is near, at once for a left message or a close.
bool threadMayReceive(const ReceiveRole& role, bool stopping, uint64_t now) {
  if (role.holder != Holder::None) return false;
  return role.leftLength != 0 || stopping || (role.callersWaiting == 0 && now >= role.callerSeenNs + kCallerGraceNs);
}

} // namespace

uint32_t waitForEvent(Qor_PortInfo_t& entry, InternalEvent& event, uint32_t milliseconds) {
  Qor_PortContext& context = *portContext(entry);
  ReceiveRole& role = context.receiving;
  const uint64_t deadline = monotonicNow() + milliseconds * kNsPerMs;
  MutexLock lock(context.events.pair.mutex());
  for (;;) {
    if (event.signalled) {
      event.signalled = 0;
      return 0;
    }
    if (context.events.error.signalled) {
      context.events.error.signalled = 0;
      return context.events.errorCode;
    }
    const uint64_t now = monotonicNow();
    if (now >= deadline) {
      lock.unlock();
      return storeError(&entry, QOR_ERR_API_NO_RESPONSE, "");
    }
    role.callerSeenNs = now;
    if (callerMayReceive(entry, context)) {
      role.holder = Holder::Caller;
      lock.unlock();
      size_t length = 0;
      const Delivery delivery =
          receiveAndDeliver(entry, context, Receiver::Caller, std::min(deadline, now + kSliceNs), length);
      lock.lock();
      role.callerSeenNs = monotonicNow();
      const Wakes wakes = release(role, delivery, length);
      lock.unlock();
      wake(context, wakes);
      lock.lock();
      continue;
    }
    ++role.callersWaiting;
    waitUntil(context.events.pair.condition(), lock, deadline);
    --role.callersWaiting;
  }
}

bool responseThreadTurn(Qor_PortInfo_t& entry, bool stopping) {
  Qor_PortContext& context = *portContext(entry);
  ReceiveRole& role = context.receiving;
  MutexLock lock(context.events.pair.mutex());
  const uint64_t sliceEnd = monotonicNow() + kSliceNs;
  for (;;) {
    if (role.ended) return false;
    const uint64_t now = monotonicNow();
    if (threadMayReceive(role, stopping, now)) break;
    if (now >= sliceEnd) return true;
    // While a caller holds the role, its release tells the thread; a free role near a caller is only waited out,
    // so that a caller's commands do not wake the thread one by one.
    role.threadWantsRole = role.holder != Holder::None || role.callersWaiting != 0;
    const uint64_t graceEnd = role.callerSeenNs + kCallerGraceNs;
    waitUntil(role.threadCondition.native(), lock, role.threadWantsRole ? sliceEnd : std::min(graceEnd, sliceEnd));
    role.threadWantsRole = false;
  }
  role.holder = Holder::ResponseThread;
  size_t length = std::exchange(role.leftLength, 0);
  lock.unlock();
  const bool left = length != 0;
  const Delivery delivery =
      left ? deliverResponseMessage(entry, context.queues.receiveBuffer.data(), length, Receiver::ResponseThread)
           : receiveAndDeliver(entry, context, Receiver::ResponseThread,
                               monotonicNow() + (stopping ? kSliceNs : kIdleReceiveNs), length, role.threadInStream);
  if (!left) {
    const uint64_t now = monotonicNow();
    role.threadInStream = length != 0 && now - role.threadMessageNs < kStreamGapNs;
    if (length != 0) role.threadMessageNs = now;
  }
  lock.lock();
  const Wakes wakes = release(role, delivery, length);
  const bool ended = role.ended;
  lock.unlock();
  wake(context, wakes);
  return !ended;
}

void endReceiving(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  ReceiveRole& role = context.receiving;
  {
    MutexLock lock(context.events.pair.mutex());
    const uint64_t until = monotonicNow() + kEndWaitNs;
    while (role.holder == Holder::Caller && monotonicNow() < until) {
      role.threadWantsRole = true;
      waitUntil(role.threadCondition.native(), lock, until);
    }
    role.threadWantsRole = false;
    role.ended = true;
    role.holder = Holder::ResponseThread;
  }
  qor::SectionLock queues(context.queues.section);
  close_message_queue(&context.queues.response);
}

} // namespace qor::client
