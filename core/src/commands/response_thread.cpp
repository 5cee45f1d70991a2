#include "commands/response_thread.hpp"

#include <cerrno>
#include <cstdio>

#include "commands/command_exchange.hpp"
#include "startup/error_store.hpp"
#include "monitors/monitors.hpp"
#include "ports/port_events.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"
#include "qor_shared/deadline.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"

using namespace qor::client;

namespace {

// The receive wakes up this often to look at the stop byte.
constexpr uint64_t kReceiveSliceMs = 100;
// After the stop byte, the daemon's reply to our close is awaited this long.
constexpr double kCloseReplyWaitMs = 500;

void setLockBytes(Qor_PortInfo_t& entry, bool held) {
  setPortFlag(entry, PortFlag::ControllerLock, held);
  setPortFlag(entry, PortFlag::InterfaceLock, held);
}

// A lock reply: with error 0 the lock bytes change and the event is set; else the error reaches the waiter.
void lockReply(Qor_PortInfo_t& entry, uint32_t error, void (*apply)(Qor_PortInfo_t&), InternalEvent& event) {
  if (error == 0) {
    apply(entry);
    Qor_Internal_SetEvent(&event);
    return;
  }
  storeError(&entry, error, "");
  signalError(*portContext(entry), error);
}

// Returns false when the thread must end.
bool dispatch(Qor_PortInfo_t& entry, Qor_PortContext& context, const uint8_t* message, size_t length) {
  auto response = qor::protocol::parseResponse({message, length});
  if (!response) return true; // a message that lies about its length is dropped
  const uint32_t error = response->header.error;
  switch (response->header.code) {
    case QOR_MSG_DISCONNECT: {
      qor::SectionLock queues(context.queues.section);
      close_message_queue(&context.queues.response);
      // The daemon's own 0x05 (a failed device) leaves the request queue open, so that our close can still
      // release the application and its locks.
      if (context.queues.closeRequested) close_message_queue(&context.queues.request);
      return false;
    }
    case QOR_MSG_ERROR_REPORT: {
      if (error == 0) break;
      char text[QOR_ERROR_TEXT_SIZE];
      snprintf(text, sizeof text, "%.*s", static_cast<int>(response->data.size()),
               reinterpret_cast<const char*>(response->data.data()));
      storeError(&entry, error, text);
      signalError(context, error);
      break;
    }
    case QOR_MSG_GET_LOCK:
      lockReply(entry, error, [](Qor_PortInfo_t& e) { setLockBytes(e, true); }, context.events.lockGranted);
      break;
    case QOR_MSG_RELEASE_LOCK:
      lockReply(entry, error, [](Qor_PortInfo_t& e) { setLockBytes(e, false); }, context.events.lockReleased);
      break;
    case QOR_MSG_GET_MONITOR_LOCK:
      lockReply(entry, error, [](Qor_PortInfo_t& e) { setPortFlag(e, PortFlag::MonitorLock, true); },
                context.events.monitorLockGranted);
      break;
    case QOR_MSG_RELEASE_MONITOR_LOCK:
      lockReply(entry, error, [](Qor_PortInfo_t& e) { setPortFlag(e, PortFlag::MonitorLock, false); },
                context.events.monitorLockReleased);
      break;
    case QOR_MSG_START_MONITOR:
      Qor_Internal_SetEvent(&context.events.monitorStarted);
      break;
    case QOR_MSG_STOP_MONITOR:
      Qor_Internal_SetEvent(&context.events.monitorStopped);
      break;
    case QOR_MSG_MONITOR_DATA:
      Qor_Monitor_ReceivedData(entry, 0, response->data.data(), response->data.size());
      break;
    case QOR_MSG_FPGA_ACCESS:
      Qor_Client_ReceivedResponse_Fpga(entry, message, length);
      break;
    case QOR_MSG_FIRMWARE_TRAFFIC:
      if (const auto frame = qor::protocol::parseFrame(response->data)) {
        if (!context.frameTaps.offer(entry, *frame)) Qor_Client_ReceivedFrame(entry, *frame);
      }
      break;
    default:
      break;
  }
  return true;
}

} // namespace

void* Qor_Client_ResponseThread(void* argument) {
  Qor_PortInfo_t& entry = *static_cast<Qor_PortInfo_t*>(argument);
  Qor_PortContext& context = *portContext(entry);
  setPortFlag(entry, PortFlag::ResponseThreadRunning, true);
  double stopSince = 0;
  for (;;) {
    if (portFlag(entry, PortFlag::StopResponseThread)) {
      if (stopSince == 0) stopSince = GetTickCount();
      if (GetTickCount() - stopSince > kCloseReplyWaitMs) break;
    }
    const timespec deadline = qor::realtimeDeadline(kReceiveSliceMs);
    const ssize_t received = mq_timedreceive(context.queues.response, reinterpret_cast<char*>(context.queues.receiveBuffer.data()),
                                             context.queues.receiveBuffer.size(), nullptr, &deadline);
    if (received < 0) {
      if (errno == ETIMEDOUT || errno == EINTR) continue;
      break;
    }
    context.queues.lastReceivedLength = static_cast<uint32_t>(received);
    if (!dispatch(entry, context, context.queues.receiveBuffer.data(), static_cast<size_t>(received))) break;
  }
  {
    qor::SectionLock queues(context.queues.section);
    close_message_queue(&context.queues.response);
  }
  setPortFlag(entry, PortFlag::ResponseThreadRunning, false);
  return nullptr;
}
