#include "commands/response_messages.hpp"

#include <cstdio>

#include "commands/command_exchange.hpp"
#include "commands/unmatched_frames.hpp"
#include "monitors/monitors.hpp"
#include "ports/port_events.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/error_store.hpp"

namespace qor::client {
namespace {

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

// A caller hands on what taps may consume (a monitor's callback) and unmatched negative acknowledges (the error
// callback): user code runs on the response thread only.
Delivery deliverFrame(Qor_PortInfo_t& entry, Qor_PortContext& context, const protocol::Frame& frame, Receiver receiver) {
  if (receiver == Receiver::ResponseThread) {
    if (!context.frameTaps.offer(entry, frame)) Qor_Client_ReceivedFrame(entry, frame);
    return Delivery::Handled;
  }
  if (context.frameTaps.any()) return Delivery::LeftForResponseThread;
  if (Qor_Client_MatchFrame(entry, frame)) return Delivery::Handled;
  if (frame.isNegativeAcknowledge()) return Delivery::LeftForResponseThread;
  routeUnmatchedFrame(entry, frame);
  return Delivery::Handled;
}

} // namespace

Delivery deliverResponseMessage(Qor_PortInfo_t& entry, const uint8_t* message, size_t length, Receiver receiver) {
  Qor_PortContext& context = *portContext(entry);
  auto response = protocol::parseResponse({message, length});
  if (!response) return Delivery::Handled; // a message that lies about its length is dropped
  const uint32_t error = response->header.error;
  switch (response->header.code) {
    case QOR_MSG_DISCONNECT: {
      qor::SectionLock queues(context.queues.section);
      close_message_queue(&context.queues.response);
      // The daemon's own 0x05 (a failed device) leaves the request queue open, so that our close can still
      // release the application and its locks.
      if (context.queues.closeRequested) close_message_queue(&context.queues.request);
      return Delivery::LastMessage;
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
      if (receiver == Receiver::Caller) return Delivery::LeftForResponseThread;
      Qor_Monitor_ReceivedData(entry, 0, response->data.data(), response->data.size());
      break;
    case QOR_MSG_FPGA_ACCESS:
      Qor_Client_ReceivedResponse_Fpga(entry, message, length);
      break;
    case QOR_MSG_FIRMWARE_TRAFFIC:
      if (const auto frame = protocol::parseFrame(response->data)) return deliverFrame(entry, context, *frame, receiver);
      break;
    default:
      break;
  }
  return Delivery::Handled;
}

} // namespace qor::client
