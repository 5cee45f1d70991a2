// The state of a port's asynchronous communication: the callback list, the ring to the callback thread, and that
// thread with its wake-up.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "qor_async.h"
#include "qor_shared/scoped_lock.hpp"
#include "qor_shared/wait_pair.hpp"

// A registered callback for answers of one command, frame type and data prefix.
struct AsyncCallbackListEntry {
  uint8_t command = 0;
  uint8_t controlCount = 0;
  uint32_t frameType = 0;
  uint8_t control[8] = {};
  Qor_AsyncCommunication_Callback_t callback = nullptr;
  Qor_AsyncCommunication_Release_t release = nullptr;
  std::vector<uint8_t> userData; // the callback's context; its address never changes
  void* context() { return userData.empty() ? nullptr : userData.data(); }
};
// Ring records keep their entry alive, so that a removed entry's context outlives every pending call.
using CallbackEntryPtr = std::shared_ptr<AsyncCallbackListEntry>;

// Frames on their way from the response thread to the callback thread. Guarded by the port's ring section.
struct CallbackRing {
  static constexpr uint32_t kRecords = 255;
  struct Record {
    CallbackEntryPtr entry;
    uint32_t length = 0;
  };
  explicit CallbackRing(uint32_t slotBytes) : slotSize(slotBytes), records(kRecords), slots(size_t{kRecords} * slotBytes) {}
  uint8_t* slot(uint32_t index) { return slots.data() + size_t{index} * slotSize; }
  uint32_t slotSize;
  std::vector<Record> records;
  std::vector<uint8_t> slots;
  uint32_t freeCount = kRecords;
  uint32_t usedCount = 0;
  uint32_t readIndex = 0;
  uint32_t writeIndex = 0;
  const AsyncCallbackListEntry* inFlight = nullptr; // whose callback the callback thread runs now
};

namespace qor::client {

// The callback list (newest first) and the two entries beside it under the port's general section, the ring under
// its own section, the callback thread woken through its own event.
struct AsyncCallbacks {
  std::list<CallbackEntryPtr> callbacks;
  Qor_AsyncCommunication_ErrorCallback_t errorCallback = nullptr;
  CallbackEntryPtr restBusUpdateEntry; // the built-in entry for the rest-bus update frames
  qor::CriticalSection ringSection;
  std::unique_ptr<CallbackRing> ring;
  pthread_t thread = 0;
  qor::WaitPair wakeUpPair;
  InternalEvent wakeUp{};
};

} // namespace qor::client
