#include "commands/unmatched_frames.hpp"

#include "async/async_callbacks.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"

using namespace qor::client;

namespace {

constexpr uint8_t kRestBusUpdateCommand = 0x23;

void keep(Qor_PortContext& context, const qor::protocol::Frame& frame) {
  Qor_Fw_Buffer_Write(context, frame.header.command, frame.header.type, static_cast<uint32_t>(frame.data.size()),
                      frame.data.data());
}

void queueOrDrop(Qor_PortInfo_t& entry, const CallbackEntryPtr& callback, const qor::protocol::Frame& frame) {
  // A frame that finds the ring full reaches neither the callback nor the firmware buffer.
  if (queueForCallback(entry, callback, frame)) keep(*portContext(entry), frame);
}

} // namespace

void routeUnmatchedFrame(Qor_PortInfo_t& entry, const qor::protocol::Frame& frame) {
  Qor_PortContext& context = *portContext(entry);
  if (!portFlag(entry, PortFlag::AsyncEnabled)) {
    keep(context, frame);
    return;
  }
  if (portFlag(entry, PortFlag::RestBusUpdateRouting) && frame.header.command == kRestBusUpdateCommand) {
    Qor_EnterCriticalSection(&context.general);
    CallbackEntryPtr update = context.restBusUpdateEntry;
    Qor_LeaveCriticalSection(&context.general);
    if (update) queueOrDrop(entry, update, frame);
    return;
  }
  if (frame.isNegativeAcknowledge()) {
    Qor_EnterCriticalSection(&context.general);
    const Qor_AsyncCommunication_ErrorCallback_t callback = context.errorCallback;
    Qor_LeaveCriticalSection(&context.general);
    if (callback != nullptr) {
      const std::string text(frame.negativeAcknowledgeText());
      callback(static_cast<uint32_t>(&entry - PortInfo), frame.negativeAcknowledgeCode(), text.c_str(),
               static_cast<uint32_t>(text.size()));
    }
    return;
  }
  Qor_EnterCriticalSection(&context.general);
  CallbackEntryPtr callback = Qor_AsyncCommunication_GetCallbackListEntry(context, frame.header.command, frame.header.type,
                                                                          frame.data.data(), frame.data.size());
  Qor_LeaveCriticalSection(&context.general);
  if (callback) {
    queueOrDrop(entry, callback, frame);
  } else {
    keep(context, frame);
  }
}
