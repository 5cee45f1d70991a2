#include "async/async_callbacks.hpp"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr uint8_t kMaxControlBytes = 8;
constexpr uint8_t kFrameTypes = 3;
constexpr double kCallbackThreadStartMs = 1000;
constexpr uint32_t kCallbackThreadStopMs = 5000;
constexpr size_t kEntryOverhead = 64;
// Allocation of the ring beside its slots, as reported when it fails.
constexpr size_t kRingOverhead = 10200;

bool sameEntry(const AsyncCallbackListEntry& entry, uint8_t command, uint8_t type, const uint8_t* data, size_t length) {
  return entry.command == command && entry.frameType == type && entry.controlCount <= length &&
         (entry.controlCount == 0 || memcmp(entry.control, data, entry.controlCount) == 0);
}

uint32_t checkEntryArguments(Qor_PortInfo_t& entry, uint8_t type, const uint8_t* control, uint8_t count,
                             const char* tooManyFormat) {
  if (type >= kFrameTypes) return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "type '0x%02x' is unknown", type);
  if (count != 0 && control == nullptr) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "pointer to control data is NULL");
  }
  if (count > kMaxControlBytes) return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, tooManyFormat, kMaxControlBytes);
  return 0;
}

void wakeCallbackThread(Qor_PortContext& context) { Qor_Internal_SetEvent(&context.async.wakeUp); }

void* callbackThread(void* argument) {
  Qor_PortInfo_t& entry = *static_cast<Qor_PortInfo_t*>(argument);
  Qor_PortContext& context = *portContext(entry);
  const uint32_t port = static_cast<uint32_t>(&entry - PortInfo);
  setPortFlag(entry, PortFlag::CallbackThreadRunning, true);
  for (;;) {
    int rc = 0;
    {
      qor::MutexLock wakeUp(context.async.wakeUpPair.mutex());
      while (!context.async.wakeUp.signalled && rc == 0) rc = pthread_cond_wait(&context.async.wakeUpPair.condition(), wakeUp.native());
      context.async.wakeUp.signalled = 0;
    }
    if (rc != 0) {
      Qor_Client_ErrorHandler(&entry, QOR_ERR_API_EVENT_ERROR, "callback event error - pthread_cond_wait returned %u",
                              static_cast<unsigned>(rc));
      break;
    }
    if (portFlag(entry, PortFlag::StopCallbackThread)) break;
    qor::SectionLock ringLock(context.async.ringSection);
    CallbackRing* ring = context.async.ring.get();
    while (ring != nullptr && ring->usedCount != 0 && !portFlag(entry, PortFlag::StopCallbackThread)) {
      CallbackRing::Record& record = ring->records[ring->readIndex];
      CallbackEntryPtr callback = std::move(record.entry); // a purged record has none
      const uint32_t length = record.length;
      uint8_t* data = ring->slot(ring->readIndex);
      if (callback && callback->callback) {
        ring->inFlight = callback.get();
        // Callbacks run without the ring section: they may call any function of the library.
        ringLock.unlock();
        callback->callback(port, callback->context(), data, length);
        ringLock.lock();
        ring->inFlight = nullptr;
      }
      ring->readIndex = (ring->readIndex + 1) % CallbackRing::kRecords;
      ++ring->freeCount;
      --ring->usedCount;
    }
  }
  setPortFlag(entry, PortFlag::StopCallbackThread, false);
  setPortFlag(entry, PortFlag::CallbackThreadRunning, false);
  return nullptr;
}

// Ends the callback thread and frees the ring; the ring stays when the thread does not end in time.
uint32_t stopCallbackThread(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  if (context.async.thread != 0) {
    setPortFlag(entry, PortFlag::StopCallbackThread, true);
    wakeCallbackThread(context);
    if (pthread_equal(context.async.thread, pthread_self())) {
      pthread_detach(context.async.thread); // a callback disabling its own port: the thread ends after it
    } else {
      timespec deadline = qor::realtimeDeadline(kCallbackThreadStopMs);
      if (pthread_timedjoin_np(context.async.thread, nullptr, &deadline) != 0) {
        return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_THREAD_NOT_STOPPED, "could not stop callback thread (timeout)");
      }
    }
    context.async.thread = 0;
  }
  qor::SectionLock ringLock(context.async.ringSection);
  // A detached callback thread still holds its current entry; the records themselves go now.
  if (context.async.ring && context.async.ring->inFlight == nullptr) context.async.ring.reset();
  return 0;
}

// Purges the entry's pending frames and waits for a running call of its callback to end.
void retireEntry(Qor_PortContext& context, const AsyncCallbackListEntry* retired) {
  const double start = GetTickCount();
  for (;;) {
    const bool running = qor::underSection(context.async.ringSection, [&] {
      CallbackRing* ring = context.async.ring.get();
      if (ring == nullptr) return false;
      for (CallbackRing::Record& record : ring->records) {
        if (record.entry.get() == retired) record.entry.reset();
      }
      return ring->inFlight == retired && !pthread_equal(context.async.thread, pthread_self());
    });
    if (!running || GetTickCount() - start > kCallbackThreadStopMs) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::string describeControl(const uint8_t* control, uint8_t count) {
  if (count == 0) return "none";
  std::string text;
  char item[16];
  for (uint8_t i = 0; i < count; ++i) {
    snprintf(item, sizeof item, "'0x%02X' ", control[i]);
    text += item;
  }
  return text;
}

uint32_t closeAsyncCommunication(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  const uint32_t port = static_cast<uint32_t>(&entry - PortInfo);
  std::list<CallbackEntryPtr> removed;
  {
    qor::SectionLock general(context.general);
    removed.swap(context.async.callbacks);
  }
  for (const CallbackEntryPtr& callback : removed) {
    retireEntry(context, callback.get());
    if (callback->release) callback->release(port, callback->context());
  }
  if (!portFlag(entry, PortFlag::AsyncEnabled) && context.async.thread == 0) return 0;
  setPortFlag(entry, PortFlag::AsyncEnabled, false);
  return stopCallbackThread(entry);
}

} // namespace

CallbackEntryPtr Qor_AsyncCommunication_GetCallbackListEntry(Qor_PortContext& context, uint8_t command, uint8_t type,
                                                             const uint8_t* data, size_t length) {
  for (const CallbackEntryPtr& entry : context.async.callbacks) {
    if (sameEntry(*entry, command, type, data, length)) return entry;
  }
  return nullptr;
}

namespace qor::client {

bool queueForCallback(Qor_PortInfo_t& entry, const CallbackEntryPtr& callback, const protocol::Frame& frame) {
  Qor_PortContext& context = *portContext(entry);
  const bool queued = qor::underSection(context.async.ringSection, [&] {
    CallbackRing* ring = context.async.ring.get();
    if (ring == nullptr || ring->freeCount == 0 || frame.data.size() > ring->slotSize) return false;
    CallbackRing::Record& record = ring->records[ring->writeIndex];
    record.entry = callback;
    record.length = static_cast<uint32_t>(frame.data.size());
    if (!frame.data.empty()) memcpy(ring->slot(ring->writeIndex), frame.data.data(), frame.data.size());
    --ring->freeCount;
    ++ring->usedCount;
    ring->writeIndex = (ring->writeIndex + 1) % CallbackRing::kRecords;
    return true;
  });
  if (queued) wakeCallbackThread(context);
  return queued;
}


Teardown asyncCommunicationTeardown() {
  return {.afterTraffic = [](Qor_PortInfo_t& entry) { return closeAsyncCommunication(entry) == 0; }};
}

uint32_t createCallbackEvent(Qor_PortContext& context) {
  if (!context.async.wakeUpPair.created()) return QOR_ERR_API_CREATE_EVENT;
  context.async.wakeUp = context.async.wakeUpPair.event();
  return 0;
}

} // namespace qor::client

extern "C" {

uint32_t Qor_AsyncCommunication_Enable(uint32_t port, Qor_AsyncCommunication_ErrorCallback_t errorCallback) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  if (portFlag(entry, PortFlag::AsyncEnabled)) {
    qor::SectionLock general(context.general);
    if (errorCallback != nullptr) context.async.errorCallback = errorCallback;
    return 0;
  }
  std::unique_ptr<CallbackRing> ring;
  try {
    ring = std::make_unique<CallbackRing>(context.maxParameterLength);
  } catch (const std::bad_alloc&) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate callback buffer (%u bytes)",
                                   static_cast<unsigned>(CallbackRing::kRecords * context.maxParameterLength + kRingOverhead));
  }
  {
    qor::SectionLock ringLock(context.async.ringSection);
    context.async.ring = std::move(ring);
  }
  setPortFlag(entry, PortFlag::StopCallbackThread, false);
  context.async.thread = Qor_Internal_Thread_Start(callbackThread, "CallbackThread", &entry);
  if (context.async.thread == 0) {
    const int startError = errno;
    {
      qor::SectionLock ringLock(context.async.ringSection);
      context.async.ring.reset();
    }
    return Qor_Client_ErrorHandler(nullptr, QOR_ERR_API_THREAD_NOT_STARTED, "could not start callback thread - %s",
                                   strerror(startError));
  }
  const double start = GetTickCount();
  while (!portFlag(entry, PortFlag::CallbackThreadRunning)) {
    if (GetTickCount() - start > kCallbackThreadStartMs) {
      stopCallbackThread(entry);
      return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_THREAD_NOT_STARTED, "callback thread did not start within time limit");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  qor::SectionLock general(context.general);
  context.async.errorCallback = errorCallback;
  setPortFlag(entry, PortFlag::AsyncEnabled, true);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_AsyncCommunication_Disable(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  {
    qor::SectionLock general(ref.context().general);
    setPortFlag(ref.entry(), PortFlag::AsyncEnabled, false);
  }
  return stopCallbackThread(ref.entry());
} catch (...) {
  return failedCall(port);
}

bool Qor_AsyncCommunication_IsEnabled(uint32_t port) try {
  return Qor_IsAsyncCommunicationEnabled(port);
} catch (...) {
  return failedCall(port, false);
}

uint32_t Qor_AsyncCommunication_AddCallback(uint32_t port, uint8_t command, uint8_t type, const uint8_t* control,
                                            uint8_t count, Qor_AsyncCommunication_Callback_t callback,
                                            Qor_AsyncCommunication_Release_t release, uint32_t userDataLength,
                                            void** userData) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  if (uint32_t result = checkEntryArguments(entry, type, control, count,
                                            "too many control data bytes (max. number of bytes: %d)")) {
    return result;
  }
  if (callback == nullptr) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "pointer to callback function is NULL");
  }
  Qor_PortContext& context = ref.context();
  auto added = std::make_shared<AsyncCallbackListEntry>();
  try {
    added->userData.resize(userDataLength);
  } catch (const std::exception&) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY,
                                   "could not allocate memory for callback functionlist entry(%llu bytes)",
                                   static_cast<unsigned long long>(kEntryOverhead) + userDataLength);
  }
  added->command = command;
  added->frameType = type;
  added->controlCount = count;
  if (count != 0) memcpy(added->control, control, count);
  added->callback = callback;
  added->release = release;
  const bool exists = qor::underSection(context.general, [&] {
    if (Qor_AsyncCommunication_GetCallbackListEntry(context, command, type, control, count)) return true;
    context.async.callbacks.push_front(added);
    return false;
  });
  if (exists) return storeError(&entry, QOR_ERR_API_CALLBACK_EXISTS, "");
  if (userData != nullptr && userDataLength != 0) *userData = added->context();
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_AsyncCommunication_RemoveCallback(uint32_t port, uint8_t command, uint8_t type, const uint8_t* control,
                                               uint8_t count) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  if (uint32_t result = checkEntryArguments(entry, type, control, count,
                                            "too many control bytes (max. number of control bytes: %d)")) {
    return result;
  }
  Qor_PortContext& context = ref.context();
  const CallbackEntryPtr removed = qor::underSection(context.general, [&] {
    CallbackEntryPtr found = Qor_AsyncCommunication_GetCallbackListEntry(context, command, type, control, count);
    if (found) context.async.callbacks.remove(found);
    return found;
  });
  if (!removed) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_CALLBACK_NOT_FOUND, "command '0x%02X', check bytes: %s", command,
                                   describeControl(control, count).c_str());
  }
  retireEntry(context, removed.get());
  if (removed->release) removed->release(port, removed->context());
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_AsyncCommunication_CallErrorCallback(uint32_t port, uint32_t code, const void* data, uint32_t length) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortContext& context = ref.context();
  const Qor_AsyncCommunication_ErrorCallback_t callback = qor::underSection(context.general, [&] { return context.async.errorCallback; });
  if (callback == nullptr) return 0;
  if (!portFlag(ref.entry(), PortFlag::AsyncEnabled)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_ASYNC_NOT_ENABLED, "failed to call error callback");
  }
  callback(port, code, static_cast<const char*>(data), length);
  return 0;
} catch (...) {
  return failedCall(port);
}

static uint32_t setWaitForAcknowledge(uint32_t port, bool wait) {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (!portFlag(ref.entry(), PortFlag::AsyncEnabled)) return storeError(&ref.entry(), QOR_ERR_API_ASYNC_NOT_ENABLED, "");
  setPortFlag(ref.entry(), PortFlag::CommandsWaitForAcknowledge, wait);
  return 0;
}

uint32_t Qor_AsyncCommunication_FunctionsWithoutResponse_Sync(uint32_t port) try {
  return setWaitForAcknowledge(port, true);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_AsyncCommunication_FunctionsWithoutResponse_Async(uint32_t port) try {
  return setWaitForAcknowledge(port, false);
} catch (...) {
  return failedCall(port);
}

bool Qor_AsyncCommunication_FunctionsWithoutResponse_IsSync(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref && (!portFlag(ref.entry(), PortFlag::AsyncEnabled) ||
                 portFlag(ref.entry(), PortFlag::CommandsWaitForAcknowledge));
} catch (...) {
  return failedCall(port, false);
}

} // extern "C"
