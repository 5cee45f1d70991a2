#include "lvds/lvds_frame_data.hpp"

#include <chrono>
#include <new>
#include <optional>
#include <span>
#include <thread>

#include "commands/command_exchange.hpp"
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

constexpr auto kCloseWait = std::chrono::milliseconds(1000);

bool isFrameChunk(const qor::protocol::Frame& frame) {
  return frame.header.type == QOR_FRAME_RESPONSE && frame.header.command == QOR_LVDS_FRAME_COMMAND &&
         !frame.data.empty() && frame.data[0] == QOR_LVDS_FRAME_DATA;
}

void removeFilter(Qor_PortContext& context) {
  // The tap first, so that no chunk reaches frames that are gone.
  context.frameTaps.remove(TapSlot::LvdsFrames);
  qor::SectionLock frameLock(context.lvds.section);
  context.lvds.filterInstalled = false;
  context.lvds.collector.reset();
  context.lvds.frameCompleted.notify_all();
}

template <class Value>
Value frameState(uint32_t port, Value LvdsFrames::*field, Value fallback) {
  PortRef ref = checkedPort(port);
  if (!ref) return fallback;
  qor::SectionLock frameLock(ref.context().lvds.section);
  return ref.context().lvds.*field;
}

void markPort(uint32_t port, bool LvdsFrames::*mark) {
  PortRef ref = PortRef::acquire(port);
  if (!ref) return;
  qor::SectionLock frameLock(ref.context().lvds.section);
  ref.context().lvds.*mark = true;
}

// The port's frame tap while the filter is installed: frame chunks go to the port's frames.
TapResult frameChunkTap(Qor_PortInfo_t& entry, const qor::protocol::Frame& frame) {
  if (!isFrameChunk(frame)) return TapResult::Passed;
  LvdsFrames& lvds = portContext(entry)->lvds;
  qor::SectionLock frameLock(lvds.section);
  if (!lvds.filterInstalled) return TapResult::Passed;
  if (lvds.collector->add(frame.data) == FrameCollector::Outcome::Completed) lvds.frameCompleted.notify_all();
  return TapResult::Consumed;
}

} // namespace

namespace qor::client {

void markFrameGrabber(uint32_t port) { markPort(port, &LvdsFrames::grabber); }

void markFrameGenerator(uint32_t port) { markPort(port, &LvdsFrames::generator); }

namespace {

uint32_t waitWhileFrameInProgress(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
  for (;;) {
    {
      qor::SectionLock frameLock(context.lvds.section);
      if (!context.lvds.filterInstalled || !context.lvds.collector->frameInProgress()) return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool releaseFrameData(Qor_PortInfo_t& entry) {
  removeFilter(*portContext(entry));
  return true;
}

} // namespace

Teardown lvdsFramesTeardown() { return {.beforeDisconnect = waitWhileFrameInProgress, .afterTraffic = releaseFrameData}; }

} // namespace qor::client

extern "C" {

uint32_t Qor_Lvds_InitResponseFilter(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortContext& context = ref.context();
  {
    qor::SectionLock frameLock(context.lvds.section);
    try {
      if (!context.lvds.collector) context.lvds.collector = std::make_unique<FrameCollector>();
    } catch (const std::bad_alloc&) {
      frameLock.unlock();
      return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_NOT_ENOUGH_MEMORY,
                                     "could not allocate lvds pixel data buffer");
    }
    context.lvds.filterInstalled = true;
  }
  context.frameTaps.install(TapSlot::LvdsFrames, frameChunkTap);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Lvds_ResetResponseFilter(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  removeFilter(ref.context());
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Lvds_GetFrameData(uint32_t port, uint8_t** data, uint32_t* length) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  if (data == nullptr || length == nullptr) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  Qor_PortContext& context = ref.context();
  qor::SectionLock frameLock(context.lvds.section);
  if (!context.lvds.filterInstalled) {
    frameLock.unlock();
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NOT_INITIALIZED, "lvds response filter not initialized");
  }
  if (context.lvds.collector->isTaken()) {
    frameLock.unlock();
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_OPERATION_NOT_ALLOWED, "lvds frame data not released");
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(QOR_LVDS_FRAME_WAIT_MS);
  context.lvds.frameCompleted.wait_until(frameLock, deadline, [&] {
    return !context.lvds.filterInstalled || context.lvds.collector->hasFrame();
  });
  // The filter may have been removed meanwhile.
  const bool installed = context.lvds.filterInstalled;
  const std::optional<std::span<uint8_t>> frame = installed ? context.lvds.collector->take() : std::nullopt;
  frameLock.unlock();
  if (!installed) return storeError(&entry, QOR_ERR_API_NOT_INITIALIZED, "");
  if (!frame) return storeError(&entry, QOR_ERR_API_EVENT_TIMEOUT, "");
  *data = frame->data();
  *length = static_cast<uint32_t>(frame->size());
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Lvds_ReleaseFrameData(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  qor::SectionLock frameLock(ref.context().lvds.section);
  if (ref.context().lvds.collector) ref.context().lvds.collector->release();
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Lvds_ResetResponseEvent(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  qor::SectionLock frameLock(ref.context().lvds.section);
  if (ref.context().lvds.collector) ref.context().lvds.collector->discardFrame();
  return 0;
} catch (...) {
  return failedCall(port);
}

bool Qor_Lvds_IsAutoEmptyEnabled(uint32_t port) try {
  return frameState(port, &LvdsFrames::filterInstalled, false);
} catch (...) {
  return failedCall(port, false);
}

bool Qor_Lvds_IsGrabber(uint32_t port) try {
  return frameState(port, &LvdsFrames::grabber, false);
} catch (...) {
  return failedCall(port, false);
}

bool Qor_Lvds_IsGenerator(uint32_t port) try {
  return frameState(port, &LvdsFrames::generator, false);
} catch (...) {
  return failedCall(port, false);
}

uint32_t Qor_Lvds_LvdsChannel_Set(uint32_t port, uint8_t channel) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  qor::SectionLock frameLock(ref.context().lvds.section);
  ref.context().lvds.channel = channel;
  return 0;
} catch (...) {
  return failedCall(port);
}

uint8_t Qor_Lvds_LvdsChannel_Get(uint32_t port) try {
  return frameState(port, &LvdsFrames::channel, uint8_t{0});
} catch (...) {
  return failedCall(port, uint8_t{0});
}

} // extern "C"
