#include "monitors/monitors.hpp"

#include <cstring>
#include <optional>

#include "commands/command_exchange.hpp"
#include "startup/error_store.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "qor_shared/firmware_records.hpp"
#include "qor_shared/protocol.hpp"
#include "qor_shared/scoped_lock.hpp"
#include "startup/exported_call.hpp"

using namespace qor::client;
namespace protocol = qor::protocol;

namespace {

constexpr uint32_t kMonitorStopWaitMs = 3000;
constexpr uint32_t kStopAnswerCapacity = 256;
constexpr uint32_t kValidInitFlags = QOR_MONITOR_CALLBACK_MODE | QOR_MONITOR_NO_BUS_FILTER;

// Where a filter puts a frame: the instance and the first byte of the frame that is monitor data.
struct Taken {
  uint8_t instance;
  size_t dataOffset;
  bool alsoMatched; // K-Line monitor frames are answers too
};

bool matches(const qor::firmware::MonitorFilter& filter, uint32_t interfaceType, const protocol::Frame& frame) {
  if (filter.interfaceType != interfaceType || filter.command != frame.header.command) return false;
  if (filter.responsesOnly && frame.header.type != QOR_FRAME_RESPONSE) return false;
  return filter.subFunction == qor::firmware::kAnySubFunction ||
         (!frame.data.empty() && frame.data[0] == filter.subFunction);
}

std::optional<Taken> busFilter(uint32_t interfaceType, const protocol::Frame& frame) {
  for (const qor::firmware::MonitorFilter& filter : qor::firmware::kMonitorFilters) {
    if (!matches(filter, interfaceType, frame)) continue;
    if (!filter.instanceFromData) return Taken{0, filter.dataOffset, filter.alsoAnswer};
    if (frame.data.size() <= qor::firmware::kMonitorInstanceByte) return std::nullopt;
    return Taken{frame.data[qor::firmware::kMonitorInstanceByte], filter.dataOffset, filter.alsoAnswer};
  }
  return std::nullopt;
}

bool startedWithFilter(const MonitorInstance& instance) {
  return (instance.flags & MonitorInstance::kStarted) && !(instance.flags & MonitorInstance::kNoBusFilter);
}

// The port's frame tap while a monitor with a bus filter runs.
TapResult monitorTap(Qor_PortInfo_t& entry, const protocol::Frame& frame) {
  Qor_PortContext& context = *portContext(entry);
  const std::optional<Taken> taken = busFilter(context.interfaceType, frame);
  // Only a started instance takes a frame, and only a frame that reaches its data.
  if (!taken || taken->instance >= QOR_MONITOR_INSTANCES || frame.bytes.size() < taken->dataOffset) {
    return TapResult::Passed;
  }
  const bool deliver = qor::underSection(context.monitors.section,
                                         [&] { return startedWithFilter(context.monitors.instances[taken->instance]); });
  if (!deliver) return TapResult::Passed;
  Qor_Monitor_ReceivedData(entry, taken->instance, frame.bytes.data() + taken->dataOffset,
                           frame.bytes.size() - taken->dataOffset);
  return taken->alsoMatched ? TapResult::Passed : TapResult::Consumed;
}

bool anyStarted(Qor_PortContext& context) {
  qor::SectionLock monitorLock(context.monitors.section);
  for (const MonitorInstance& instance : context.monitors.instances) {
    if (instance.flags & MonitorInstance::kStarted) return true;
  }
  return false;
}

uint32_t responseTimeout(Qor_PortContext& context) { return context.responseTimeoutMs.load(); }

void Qor_Monitor_Free(Qor_PortInfo_t& entry, uint8_t index) {
  Qor_PortContext& context = *portContext(entry);
  qor::SectionLock monitorLock(context.monitors.section);
  MonitorInstance& instance = context.monitors.instances[index];
  // In every mode: a library forgets what it keeps for the instance (its context exists in callback mode only).
  if (instance.cleanup) instance.cleanup(static_cast<uint32_t>(&entry - PortInfo), instance.context.get());
  instance = MonitorInstance{};
}

// Frees an instance and, with the last one, takes the monitors' frame tap away. No section is held across both:
// a monitor callback runs under the monitor section and may record errors, which takes the general section.
void freeInstance(Qor_PortInfo_t& entry, uint8_t index) {
  Qor_PortContext& context = *portContext(entry);
  Qor_Monitor_Free(entry, index);
  if (!anyStarted(context)) context.frameTaps.remove(TapSlot::Monitors);
}

uint32_t Qor_Monitor_ReleaseLock(Qor_PortInfo_t& entry) {
  Qor_PortContext& context = *portContext(entry);
  return Qor_Client_DaemonRequest(entry, QOR_MSG_RELEASE_MONITOR_LOCK, context.events.monitorLockReleased,
                                  responseTimeout(context));
}

uint32_t sendStopCommand(uint32_t port, uint32_t interfaceType, uint8_t instance) {
  uint8_t answer[kStopAnswerCapacity];
  uint32_t size = sizeof answer;
  switch (interfaceType) {
    case QOR_INTERFACE_CAN: {
      const uint8_t stop[4] = {7, instance, 0, 0};
      return Qor_CommandWithResponseEx(port, 0, 0x50, 1, stop, sizeof stop, answer, &size);
    }
    case QOR_INTERFACE_LIN: {
      const uint32_t stop = 0;
      return Qor_Command(port, 0x54, &stop, sizeof stop);
    }
    case QOR_INTERFACE_KLINE: {
      const uint32_t stop = 0;
      return Qor_CommandWithResponseEx(port, 0, 0x54, 1, &stop, sizeof stop, answer, &size);
    }
    case QOR_INTERFACE_MOST: {
      const uint32_t stop[3] = {1, 0, 0};
      return Qor_CommandWithResponseEx(port, 0, 0x54, 1, stop, sizeof stop, answer, &size);
    }
    case QOR_INTERFACE_FLEXRAY: {
      const uint8_t stop[4] = {2, instance, 0, 0};
      return Qor_CommandWithResponseEx(port, 0, 0x21, 1, stop, sizeof stop, answer, &size);
    }
    case QOR_INTERFACE_ETHERNET: {
      const uint8_t stop[4] = {8, instance, 0, 0};
      return Qor_CommandWithResponseEx(port, 0, 0x50, 2, stop, sizeof stop, answer, &size);
    }
    default:
      return 0;
  }
}

uint32_t closeInstance(PortRef& ref, uint8_t index) {
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  const bool started =
      qor::underSection(context.monitors.section, [&] { return (context.monitors.instances[index].flags & MonitorInstance::kStarted) != 0; });
  if (!started) return 0;
  const bool locked = portFlag(entry, PortFlag::MonitorLock);
  freeInstance(entry, index);
  if (!locked) return 0; // the device's monitor belongs to whoever holds the lock
  if (uint32_t result = sendStopCommand(ref.handle(), context.interfaceType, index)) return result;
  if (portFlag(entry, PortFlag::Property0)) {
    if (uint32_t result = Qor_Client_DaemonRequest(entry, QOR_MSG_STOP_MONITOR, context.events.monitorStopped, kMonitorStopWaitMs)) {
      return result;
    }
  }
  if (anyStarted(context)) return 0;
  return portFlag(entry, PortFlag::MonitorLock) ? Qor_Monitor_ReleaseLock(entry) : 0;
}

// Ring or callback of the current instance, before the filter goes in. 0 or a code.
uint32_t prepareInstance(PortRef& ref, uint8_t index, uint32_t flags, Qor_Monitor_Callback_t callback,
                         Qor_Monitor_Cleanup_t cleanup, uint32_t size, void** context) {
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& port = ref.context();
  MonitorInstance prepared;
  prepared.cleanup = cleanup;
  if (flags & QOR_MONITOR_CALLBACK_MODE) {
    prepared.flags = MonitorInstance::kCallbackMode;
    prepared.callback = callback;
    prepared.contextSize = size;
    if (size != 0 && context != nullptr) {
      try {
        prepared.context = std::make_unique<std::byte[]>(size);
      } catch (const std::bad_alloc&) {
        return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate callback memory");
      }
      *context = prepared.context.get();
    }
  } else if (!(flags & QOR_MONITOR_NO_BUS_FILTER)) {
    const uint32_t minimum = Qor_Monitor_GetMinimumBufferSize(ref.handle());
    if (size == 0) size = minimum;
    if (size < minimum || size == 0) {
      return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_MONITOR_BUFFER_TOO_SMALL,
                                     "monitor buffer size has to be at least %d bytes", static_cast<int>(minimum));
    }
    try {
      prepared.ring = std::make_unique<MonitorRing>(size);
    } catch (const std::bad_alloc&) {
      return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_NOT_ENOUGH_MEMORY, "could not allocate monitor buffer");
    }
  }
  if (flags & QOR_MONITOR_NO_BUS_FILTER) prepared.flags |= MonitorInstance::kNoBusFilter;
  qor::SectionLock monitorLock(port.monitors.section);
  port.monitors.instances[index] = std::move(prepared);
  return 0;
}

uint32_t installFilter(PortRef& ref) {
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& context = ref.context();
  switch (context.interfaceType) {
    case QOR_INTERFACE_MOST: {
      const qor::HostType* host = qor::findHostType(context.realHostInterfaceType);
      const qor::MostMonitor most = host != nullptr ? host->library.mostMonitor : qor::MostMonitor::Unsupported;
      if (most == qor::MostMonitor::FromDaemon) return 0;
      if (most == qor::MostMonitor::Unsupported) {
        return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_DEVICE_TYPE, "invalid device type for monitoring");
      }
      break;
    }
    case QOR_INTERFACE_CAN:
    case QOR_INTERFACE_LIN:
    case QOR_INTERFACE_KLINE:
    case QOR_INTERFACE_FLEXRAY:
    case QOR_INTERFACE_ETHERNET:
      break;
    default:
      return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_INTERFACE, "invalid interface for monitoring");
  }
  context.frameTaps.install(TapSlot::Monitors, monitorTap);
  return 0;
}

uint32_t initInstance(PortRef& ref, uint8_t index, uint32_t flags, Qor_Monitor_Callback_t callback,
                      Qor_Monitor_Cleanup_t cleanup, uint32_t size, void** context) {
  Qor_PortContext& port = ref.context();
  if (uint32_t result = prepareInstance(ref, index, flags, callback, cleanup, size, context)) return result;
  if (!(flags & QOR_MONITOR_NO_BUS_FILTER)) {
    if (uint32_t result = installFilter(ref)) return result;
  }
  if (portFlag(ref.entry(), PortFlag::Property0)) {
    if (uint32_t result = Qor_Client_DaemonRequest(ref.entry(), QOR_MSG_START_MONITOR, port.events.monitorStarted,
                                                   responseTimeout(port))) {
      return result;
    }
  }
  qor::SectionLock monitorLock(port.monitors.section);
  port.monitors.instances[index].flags |= MonitorInstance::kStarted;
  return 0;
}

// A failure found under the monitor section, recorded once the section is left: the error store takes the port's
// general section, and none is taken under the monitor section.
struct PendingError {
  uint32_t code = 0;
  char text[128] = "";
  uint32_t record(Qor_PortInfo_t& entry) const { return code == 0 ? 0 : storeError(&entry, code, text); }
};

uint32_t readInstance(uint32_t port, uint8_t index, void* buffer, uint32_t* size, uint8_t* dataLost) {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (index >= QOR_MONITOR_INSTANCES || size == nullptr || dataLost == nullptr || (buffer == nullptr && *size != 0)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid parameter");
  }
  Qor_PortContext& context = ref.context();
  PendingError error;
  qor::SectionLock monitorLock(context.monitors.section);
  MonitorInstance& instance = context.monitors.instances[index];
  if (!(instance.flags & MonitorInstance::kStarted) || !instance.ring) {
    error.code = QOR_ERR_API_MONITOR_NOT_STARTED;
  } else if (instance.ring->used() == 0) {
    *size = 0;
    *dataLost = instance.ring->dataLost() ? 1 : 0;
  } else if (instance.ring->used() > *size) {
    error.code = QOR_ERR_API_RESPONSE_BUFFER_TOO_SMALL;
    snprintf(error.text, sizeof error.text, "response buffer: %d byte < monitor data: %d byte", static_cast<int>(*size),
             static_cast<int>(instance.ring->used()));
  } else {
    *size = static_cast<uint32_t>(instance.ring->used());
    *dataLost = instance.ring->readAll(static_cast<uint8_t*>(buffer)) ? 1 : 0;
  }
  monitorLock.unlock();
  return error.record(ref.entry());
}

} // namespace

void Qor_Monitor_ReceivedData(Qor_PortInfo_t& entry, uint8_t index, const uint8_t* data, size_t length) {
  if (index >= QOR_MONITOR_INSTANCES) return;
  Qor_PortContext& context = *portContext(entry);
  qor::SectionLock monitorLock(context.monitors.section);
  MonitorInstance& instance = context.monitors.instances[index];
  if (instance.flags & MonitorInstance::kStarted) {
    if (instance.flags & MonitorInstance::kCallbackMode) {
      if (instance.callback) {
        instance.callback(static_cast<uint32_t>(&entry - PortInfo), instance.context.get(), data,
                          static_cast<uint32_t>(length));
      }
    } else if (instance.ring) {
      instance.ring->write(data, length);
    }
    if (portFlag(entry, PortFlag::MonitorEventEnabled) && instance.userEvent != nullptr) {
      Qor_External_SetEvent(instance.userEvent);
    }
  }
}

namespace qor::client {

Teardown monitorsTeardown() {
  return {.beforeDisconnect = [](Qor_PortInfo_t& entry) -> uint32_t {
    PortRef ref = PortRef::acquire(static_cast<uint32_t>(&entry - PortInfo));
    if (!ref) return 0;
    for (uint8_t index = 0; index < QOR_MONITOR_INSTANCES; ++index) {
      if (uint32_t result = closeInstance(ref, index)) return result;
    }
    return 0;
  }};
}

} // namespace qor::client

extern "C" {

uint32_t Qor_Monitor_InstanceId_Set(uint32_t port, uint8_t instance) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (instance >= QOR_MONITOR_INSTANCES) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER,
                                   "currently only %u monitor instances are supported by Qor-API", QOR_MONITOR_INSTANCES);
  }
  ref.context().monitors.current.store(instance);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint8_t Qor_Monitor_InstanceId_Get(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref ? ref.context().monitors.current.load() : 0;
} catch (...) {
  return failedCall(port, uint8_t{0});
}

uint32_t Qor_Monitor_Init(uint32_t port, uint32_t flags, Qor_Monitor_Callback_t callback, Qor_Monitor_Cleanup_t cleanup,
                          uint32_t size, void** context) try {
  if (flags & ~kValidInitFlags) {
    PortRef named = PortRef::acquire(port);
    return Qor_Client_ErrorHandler(named ? &named.entry() : nullptr, QOR_ERR_API_INIT_FAILED, "unknown internal monitor flag");
  }
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_PortInfo_t& entry = ref.entry();
  Qor_PortContext& portState = ref.context();
  if ((flags & QOR_MONITOR_CALLBACK_MODE) && callback == nullptr) {
    return Qor_Client_ErrorHandler(&entry, QOR_ERR_API_INVALID_PARAMETER, "pointer to callback function is NULL");
  }
  const uint8_t index = portState.monitors.current.load();
  const bool lockedBefore = portFlag(entry, PortFlag::MonitorLock);
  if (uint32_t result = closeInstance(ref, index)) return result;
  if (!portFlag(entry, PortFlag::MonitorLock)) {
    if (uint32_t result = Qor_Client_DaemonRequest(entry, QOR_MSG_GET_MONITOR_LOCK, portState.events.monitorLockGranted,
                                                   responseTimeout(portState))) {
      return result;
    }
  }
  const uint32_t result = initInstance(ref, index, flags, callback, cleanup, size, context);
  if (result != 0) {
    freeInstance(entry, index);
    if (!lockedBefore && !anyStarted(portState)) Qor_Monitor_ReleaseLock(entry);
  }
  return result;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_CloseMonitor(uint32_t port) try {
  return Qor_Monitor_Close(port, Qor_Monitor_InstanceId_Get(port));
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Monitor_Close(uint32_t port, uint8_t instance) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (instance >= QOR_MONITOR_INSTANCES) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER,
                                   "currently only %u monitor instances are supported by Qor-API", QOR_MONITOR_INSTANCES);
  }
  return closeInstance(ref, instance);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_IsMonitorEnabled(uint32_t port) try {
  return Qor_Monitor_IsEnabled(port, Qor_Monitor_InstanceId_Get(port));
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_Monitor_IsEnabled(uint32_t port, uint8_t instance) try {
  PortRef ref = checkedPort(port);
  if (!ref || instance >= QOR_MONITOR_INSTANCES) return 0;
  qor::SectionLock monitorLock(ref.context().monitors.section);
  return (ref.context().monitors.instances[instance].flags & MonitorInstance::kStarted) ? 1 : 0;
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_GetMonitorItems(uint32_t port, void* buffer, uint32_t* size, uint8_t* dataLost) try {
  return readInstance(port, Qor_Monitor_InstanceId_Get(port), buffer, size, dataLost);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Monitor_Read(uint32_t port, uint8_t instance, void* buffer, uint32_t* size, uint8_t* dataLost) try {
  return readInstance(port, instance, buffer, size, dataLost);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Monitor_Read_FixedItemSize(uint32_t port, uint32_t itemSize, uint32_t bufferSize, uint32_t* flags,
                                        uint32_t* itemCount, void* buffer) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (flags == nullptr || itemCount == nullptr || (buffer == nullptr && bufferSize != 0)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "invalid pointer");
  }
  *flags = 0;
  *itemCount = 0;
  Qor_PortContext& context = ref.context();
  if (itemSize == 0) return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_INVALID_PARAMETER, "'itemSize' is 0");
  const uint8_t index = context.monitors.current.load();
  PendingError error;
  qor::SectionLock monitorLock(context.monitors.section);
  MonitorInstance& instance = context.monitors.instances[index];
  if (!(instance.flags & MonitorInstance::kStarted) || !instance.ring) {
    error.code = QOR_ERR_API_MONITOR_NOT_STARTED;
  } else if (bufferSize < itemSize) {
    error.code = QOR_ERR_API_INVALID_PARAMETER;
    snprintf(error.text, sizeof error.text, "'rspBufferSize' < 'itemSize'");
  } else if (instance.ring->used() == 0) {
    if (instance.ring->dataLost()) *flags |= 2;
  } else {
    bool lost = false, more = false;
    *itemCount = static_cast<uint32_t>(instance.ring->readItems(itemSize, bufferSize, static_cast<uint8_t*>(buffer), lost, more));
    *flags = (more ? 1u : 0u) | (lost ? 2u : 0u);
  }
  monitorLock.unlock();
  return error.record(ref.entry());
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_GetMinimumMonitorBufferSize(uint32_t port) try {
  return Qor_Monitor_GetMinimumBufferSize(port);
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_Monitor_GetMinimumBufferSize(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return 0;
  const uint32_t stored = ref.context().minMonitorBufferSize;
  // CAN items of 32-bit ports are smaller than the stored size assumes.
  if (ref.context().interfaceType == QOR_INTERFACE_CAN && !portFlag(ref.entry(), PortFlag::Parameters64Bit)) {
    return (stored / 20 * 3 + 3) * 8;
  }
  return stored;
} catch (...) {
  return failedCall(port, 0u);
}

void* Qor_Monitor_GetCallbackContext(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return nullptr;
  Qor_PortContext& context = ref.context();
  qor::SectionLock monitorLock(context.monitors.section);
  const MonitorInstance& instance = context.monitors.instances[context.monitors.current.load()];
  return (instance.flags & MonitorInstance::kCallbackMode) ? instance.context.get() : nullptr;
} catch (...) {
  return failedCall(port, static_cast<void*>(nullptr));
}

uint32_t Qor_Monitor_GetLockState(uint32_t port) try {
  PortRef ref = checkedPort(port);
  return ref && portFlag(ref.entry(), PortFlag::MonitorLock) ? 1 : 0;
} catch (...) {
  return failedCall(port, 0u);
}

uint32_t Qor_Monitor_EnableEvent(uint32_t port, ExternalEvent* event) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (!portFlag(ref.entry(), PortFlag::MonitorLock)) {
    return Qor_Client_ErrorHandler(&ref.entry(), QOR_ERR_API_NO_LOCK, "no monitor lock");
  }
  Qor_PortContext& context = ref.context();
  {
    qor::SectionLock monitorLock(context.monitors.section);
    context.monitors.instances[context.monitors.current.load()].userEvent = event;
  }
  setPortFlag(ref.entry(), PortFlag::MonitorEventEnabled, true);
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_Monitor_DisableEvent(uint32_t port) try {
  PortRef ref = checkedPort(port);
  if (!ref) return QOR_ERR_API_INVALID_PORT_HANDLE;
  setPortFlag(ref.entry(), PortFlag::MonitorEventEnabled, false);
  return 0;
} catch (...) {
  return failedCall(port);
}

} // extern "C"
