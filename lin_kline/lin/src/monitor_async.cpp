#include <memory>
#include <new>
#include <optional>
#include <span>

#include "lin_library.hpp"
#include "monitor_control.hpp"
#include "monitor_items.hpp"
#include "qor_api.h"
#include "qor_kit/port_table.hpp"
#include "qor_lin_monitor.h"

namespace qor::lin {
namespace {

// A port's asynchronous buffer mode while its monitor runs: made after the core's monitor instance, so a block that
// comes before finds none and is dropped; cleared when the instance is freed, and dropped with the port.
struct AsyncMonitor {
  struct Running {
    Qor_Lin_Monitor_ItemsCallback_t callback;
    ItemStream stream;
  };
  std::optional<Running> running;
};

kit::PortTable<AsyncMonitor> gAsyncMonitors;

// On the port's response thread, under the core's monitor section.
void convertingRelay(uint32_t port, void*, const uint8_t* data, uint32_t length) {
  gAsyncMonitors.ifState(port, [&](AsyncMonitor& monitor) {
    if (!monitor.running) return;
    AsyncMonitor::Running& running = *monitor.running;
    running.stream.feed(std::span(data, length),
                        [&](uint32_t count, const void* items) { running.callback(port, count, items); });
  });
}

void monitorFreed(uint32_t port, void*) {
  gAsyncMonitors.ifState(port, [](AsyncMonitor& monitor) { monitor.running.reset(); });
}

uint32_t startAsync(const kit::Call& call, uint8_t bufferMode, ItemKind kind, Qor_Lin_Monitor_ItemsCallback_t callback) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (callback == nullptr) return call.fail(kit::GeneralError::InvalidParameter, "'callback' is NULL");
  if (!Qor_IsAsyncCommunicationEnabled(call.port())) return call.fail(kLin.code(kAsynchronousCommunicationNotEnabled));
  if (uint32_t code = checkBufferMode(call, bufferMode)) return code;
  const ItemFormat& format = itemFormat(kind);
  // A block holds about the minimum buffer size; a longer one reaches the application in several calls.
  const uint32_t minimum = Qor_GetMinimumMonitorBufferSize(call.port());
  const uint32_t capacity = (minimum + format.firmwareSize - 1) / format.firmwareSize;
  if (uint32_t code = Qor_Monitor_Init(call.port(), QOR_MONITOR_CALLBACK_MODE, convertingRelay, monitorFreed, 0,
                                       nullptr)) {
    return code;
  }
  bool allocated = true;
  const uint32_t made = gAsyncMonitors.withState(call.port(), [&](AsyncMonitor& monitor) {
    try {
      monitor.running.emplace(AsyncMonitor::Running{callback, ItemStream(format, capacity)});
    } catch (const std::bad_alloc&) {
      allocated = false;
    }
  });
  if (made != 0 || !allocated) {
    Qor_CloseMonitor(call.port());
    return made != 0 ? made
                     : call.fail(kLin.code(kNotEnoughMemory), "could not allocate buffer for monitor items");
  }
  return configureAndStart(call, bufferMode, format);
}

uint32_t stopAsync(const kit::Call& call) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = switchList(call, kNormalListOff)) return code;
  return Qor_CloseMonitor(call.port());
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::ItemKind;
using qor::lin::kLin;

uint32_t Qor_Lin_Monitor_BufferMode_Small_Async_Start(uint32_t port, uint8_t bufferMode,
                                                      Qor_Lin_Monitor_ItemsCallback_t callback) try {
  return qor::lin::startAsync(Call(kLin, port), bufferMode, ItemKind::Small, callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Normal_Async_Start(uint32_t port, uint8_t bufferMode,
                                                       Qor_Lin_Monitor_ItemsCallback_t callback) try {
  return qor::lin::startAsync(Call(kLin, port), bufferMode, ItemKind::Normal, callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Async_Start(uint32_t port, uint8_t bufferMode,
                                                         Qor_Lin_Monitor_ItemsCallback_t callback) try {
  return qor::lin::startAsync(Call(kLin, port), bufferMode, ItemKind::Advanced, callback);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Small_Async_Stop(uint32_t port) try {
  return qor::lin::stopAsync(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Normal_Async_Stop(uint32_t port) try {
  return qor::lin::stopAsync(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Async_Stop(uint32_t port) try {
  return qor::lin::stopAsync(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}
