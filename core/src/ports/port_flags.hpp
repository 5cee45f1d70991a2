// Atomic access to the flag bytes and the state pointer of an exported port-table entry: the library's threads
// write them while callers read them without the table lock.
#pragma once

#include <atomic>
#include <cstddef>

#include "qor_client_state.h"

namespace qor::client {

enum class PortFlag : size_t {
  InUse = offsetof(Qor_PortInfo_t, inUse),
  Connected = offsetof(Qor_PortInfo_t, connected),
  ResponseThreadRunning = offsetof(Qor_PortInfo_t, responseThreadRunning),
  CallbackThreadRunning = offsetof(Qor_PortInfo_t, callbackThreadRunning),
  ControllerLock = offsetof(Qor_PortInfo_t, controllerLock),
  InterfaceLock = offsetof(Qor_PortInfo_t, interfaceLock),
  MonitorLock = offsetof(Qor_PortInfo_t, monitorLock),
  Property0 = offsetof(Qor_PortInfo_t, property0),
  StopResponseThread = offsetof(Qor_PortInfo_t, stopResponseThread),
  StopCallbackThread = offsetof(Qor_PortInfo_t, stopCallbackThread),
  AsyncEnabled = offsetof(Qor_PortInfo_t, asyncEnabled),
  CommandsWaitForAcknowledge = offsetof(Qor_PortInfo_t, commandsWaitForAcknowledge),
  FirmwareBufferEnabled = offsetof(Qor_PortInfo_t, firmwareBufferEnabled),
  MonitorEventEnabled = offsetof(Qor_PortInfo_t, monitorEventEnabled),
  RestBusUpdateRouting = offsetof(Qor_PortInfo_t, restBusUpdateRouting),
  Parameters64Bit = offsetof(Qor_PortInfo_t, parameters64Bit),
};
constexpr size_t kPortFlagCount = 16;

inline std::atomic_ref<uint8_t> flagRef(Qor_PortInfo_t& entry, PortFlag flag) {
  return std::atomic_ref<uint8_t>(reinterpret_cast<uint8_t*>(&entry)[static_cast<size_t>(flag)]);
}

inline bool portFlag(Qor_PortInfo_t& entry, PortFlag flag) { return flagRef(entry, flag).load() != 0; }

inline void setPortFlag(Qor_PortInfo_t& entry, PortFlag flag, bool value) {
  flagRef(entry, flag).store(value ? 1 : 0);
}

inline void clearPortFlags(Qor_PortInfo_t& entry) {
  for (size_t i = 0; i < kPortFlagCount; ++i) setPortFlag(entry, static_cast<PortFlag>(i), false);
}

inline Qor_PortContext* portContext(Qor_PortInfo_t& entry) {
  return std::atomic_ref<Qor_PortContext*>(entry.context).load();
}

inline void setPortContext(Qor_PortInfo_t& entry, Qor_PortContext* context) {
  std::atomic_ref<Qor_PortContext*>(entry.context).store(context);
}

} // namespace qor::client
