// The state of one open port, made at open and owned by the port table until the close. Only the core library sees it.
#pragma once

#include <mqueue.h>
#include <pthread.h>

#include <condition_variable>
#include <atomic>
#include <cstddef>
#include <list>
#include <memory>
#include <vector>

#include "async/firmware_buffer.hpp"
#include "lvds/lvds_frame_collector.hpp"
#include "monitors/monitor_ring.hpp"
#include "qor_async.h"
#include "qor_monitor.h"
#include "qor_client_state.h"
#include "qor_shared/scoped_lock.hpp"
#include "qor_shared/wait_pair.hpp"

struct Qor_PortContext;

// Handlers of the messages that the response thread receives; the firmware-frame handler is replaced while a
// monitor or the LVDS frame filter runs.
using MessageHandler = void (*)(Qor_PortInfo_t& entry, const uint8_t* message, size_t length);

// The one answer a caller of the port waits for. Guarded by the port's general section.
struct ExpectedResponse {
  uint32_t armedPort = QOR_NO_PORT; // QOR_NO_PORT while nothing is expected
  uint8_t command = 0;
  uint8_t controlCount = 0;
  uint32_t frameType = 0;
  uint8_t control[8] = {};
  void* buffer = nullptr;
  uint32_t* size = nullptr; // capacity in, length out
};

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

// One monitor instance of a port. Guarded by the port's monitor section.
struct MonitorInstance {
  static constexpr uint8_t kStarted = 1u << 0;
  static constexpr uint8_t kCallbackMode = 1u << 1;
  static constexpr uint8_t kNoBusFilter = 1u << 2;
  uint8_t flags = 0;
  Qor_Monitor_Callback_t callback = nullptr;
  Qor_Monitor_Cleanup_t cleanup = nullptr;
  uint32_t contextSize = 0;
  std::unique_ptr<std::byte[]> context; // the callback's context, zeroed; handed to the application by address
  std::unique_ptr<qor::client::MonitorRing> ring;
  ExternalEvent* userEvent = nullptr;
};

// One FPGA exchange (message 0x40) at a time, under the command lock; what the response thread touches is guarded
// by the general section.
struct FpgaExchange {
  std::vector<uint8_t> request; // queue-message-size bytes from the port's first exchange on
  std::vector<uint8_t> reply;   // the awaited reply, copied here by the response thread
  uint32_t replyLength = 0;
  uint32_t subFunction = 0;     // of the awaited reply
  uint8_t registerNumber = 0;   // of an awaited register read
  bool awaiting = false;
  bool replied = false;
  uint32_t unanswered = 0;      // requests sent whose reply or error report has not come yet
};

struct Qor_PortContext {
  // identity
  Qor_InterfaceInfo_t descriptor{}; // as given to the open; property 8 overwrites its host type
  uint32_t interfaceHost = 0;
  uint32_t interfaceType = 0;
  uint32_t realHostInterfaceType = QOR_HOST_INTERFACE_TYPE_UNKNOWN;
  uint32_t hostCommunicationType = 0;
  uint32_t deviceIdentifier = 0;
  uint32_t clientPortId = 0;
  uint32_t maxParameterLength = 0;
  std::atomic<uint32_t> responseTimeoutMs{0};

  // events: one condition variable (monotonic clock) and one mutex for all of them
  qor::WaitPair eventPair;
  InternalEvent acknowledge{};
  InternalEvent response{};
  InternalEvent lockGranted{};
  InternalEvent lockReleased{};
  InternalEvent error{};
  InternalEvent monitorStarted{};
  InternalEvent monitorStopped{};
  InternalEvent fpgaReply{};
  InternalEvent apixReply{};
  InternalEvent monitorLockGranted{};
  InternalEvent monitorLockReleased{};
  uint32_t errorEventCode = 0; // the code that comes with the error event, under the event pair's mutex

  // handlers
  // Replaced by monitors and the LVDS filter while the response thread calls it.
  std::atomic<MessageHandler> firmwareFrameHandler{nullptr};
  MessageHandler fpgaReplyHandler = nullptr;

  ExpectedResponse expected;

  // asynchronous communication: the callback list (newest first) under the general section, the ring under the
  // ring section, the callback thread woken through its own event
  std::list<CallbackEntryPtr> callbacks;
  std::unique_ptr<CallbackRing> callbackRing;
  pthread_t callbackThread = 0;
  qor::WaitPair callbackPair;
  InternalEvent callbackEvent{};
  Qor_AsyncCommunication_ErrorCallback_t errorCallback = nullptr;
  CallbackEntryPtr restBusUpdateEntry; // the built-in entry for the rest-bus update frames

  // the firmware buffer, under the firmware-buffer section
  std::unique_ptr<qor::client::FirmwareBuffer> firmwareFrames;

  // monitors
  std::atomic<uint8_t> currentMonitorInstance{0};
  MonitorInstance monitors[QOR_MONITOR_INSTANCES];

  // FPGA request
  FpgaExchange fpga;

  // LVDS frame data, under lvdsFrameDataSection
  std::unique_ptr<qor::client::FrameCollector> lvdsFrames; // made when the filter is first installed
  std::condition_variable_any lvdsFrameCompleted;           // wakes a reader waiting for a frame
  bool lvdsFilterInstalled = false;
  bool lvdsFrameGrabber = false;   // found at open
  bool lvdsFrameGenerator = false; // found at open
  uint8_t lvdsChannel = 0;         // carried by the port's LVDS commands

  // sizes
  uint32_t queueMessageSize = 0;
  uint32_t minMonitorBufferSize = 0;
  uint32_t lastReceivedLength = 0;
  std::vector<uint8_t> receiveBuffer;

  // critical sections, all recursive
  qor::CriticalSection general; // expected response, callback list, handler slots, port flags
  qor::CriticalSection firmwareBufferSection;
  qor::CriticalSection command; // one exchange at a time
  qor::CriticalSection queues;
  qor::CriticalSection callbackRingSection;
  qor::CriticalSection monitorSection;
  qor::CriticalSection lvdsFrameDataSection; // the LVDS frame data group

  // application queues, -1 while closed
  mqd_t requestQueue = -1;
  mqd_t responseQueue = -1;
  pthread_t responseThread = 0;
  bool closeRequested = false; // the response thread's 0x05 is the answer to our own close

  // the command message: ServerRequestHeader, FirmwareMessageHeader, parameters
  std::vector<uint8_t> messageTemplate;
  // the rest-bus signal write builds its frames here, under the queues section: it takes no command lock
  std::vector<uint8_t> signalMessage;

  // last error of the port
  uint32_t lastErrorCode = 0;
  char lastErrorText[QOR_ERROR_TEXT_SIZE] = {};

  // where the daemon serves the port
  uint32_t portHandle = QOR_NO_PORT;
  uint32_t processId = 0;
  uint8_t applicationIndex = 0;
  uint8_t portIndex = 0;
  uint8_t module = 0;
  Qor_PortInfo_t* entry = nullptr;

  Qor_PortContext() = default;
  ~Qor_PortContext() {
    close_message_queue(&requestQueue);
    close_message_queue(&responseQueue);
  }
  Qor_PortContext(const Qor_PortContext&) = delete;
  Qor_PortContext& operator=(const Qor_PortContext&) = delete;
};
