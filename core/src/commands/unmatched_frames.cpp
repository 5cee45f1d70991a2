#include "commands/unmatched_frames.hpp"

#include "async/async_callbacks.hpp"
#include "ports/port_flags.hpp"
#include "qor_api.h"
#include "qor_shared/scoped_lock.hpp"

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
    const CallbackEntryPtr update = qor::underSection(context.general, [&] { return context.async.restBusUpdateEntry; });
    if (update) queueOrDrop(entry, update, frame);
    return;
  }
  if (frame.isNegativeAcknowledge()) {
    const Qor_AsyncCommunication_ErrorCallback_t callback = qor::underSection(context.general, [&] { return context.async.errorCallback; });
    if (callback != nullptr) {
      const std::string text(frame.negativeAcknowledgeText());
      callback(static_cast<uint32_t>(&entry - PortInfo), frame.negativeAcknowledgeCode(), text.c_str(),
               static_cast<uint32_t>(text.size()));
    }
    return;
  }
  const CallbackEntryPtr callback = qor::underSection(context.general, [&] {
    return Qor_AsyncCommunication_GetCallbackListEntry(context, frame.header.command, frame.header.type,
                                                       frame.data.data(), frame.data.size());
  });
  if (callback) {
    queueOrDrop(entry, callback, frame);
  } else {
    keep(context, frame);
  }
}
