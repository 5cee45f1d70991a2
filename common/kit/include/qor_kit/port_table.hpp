// State that a library keeps for an open port, dropped when the port closes, so that no entry outlives its port and
// a port opened again under the same handle starts afresh.
//
// The core calls the release function of each asynchronous callback entry of a port as the port closes. A table
// registers one such entry per port when it first makes the port's state: command 0, frame type 0 (commands, which
// no firmware sends to the host) and the table's address as its eight control bytes, so no frame ever matches it.
// Its release drops the port's state.
//
// A call that makes state races with a close of the same port only when the application closes a port while still
// using it, which the core refuses as well; the state made then is dropped by the next close of that handle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "qor_error_codes.h"
#include "qor_types.h"

namespace qor::kit {

// The close hook of a table, in one place for every table type.
class PortCloseHook {
 public:
  using Released = void (*)(uint32_t port, void* owner);

  // 0 when the hook of this owner is registered for the port (also when it already was); else the core's code.
  static uint32_t attach(uint32_t port, void* owner, Released released);
  static void detach(uint32_t port, void* owner);
};

template <class State>
class PortTable {
 public:
  PortTable() = default;
  // The hooks go with the table: a port that closes later finds none of it.
  ~PortTable() {
    for (uint32_t port = 0; port < QOR_MAX_PORTS; ++port) erase(port);
  }
  PortTable(const PortTable&) = delete;
  PortTable& operator=(const PortTable&) = delete;

  // Runs fn(State&) on the port's state, made (value-initialised) first when the port has none. 0, or the core's
  // code when the port is not open or the hook could not be registered; fn does not run then.
  template <class Fn>
  uint32_t withState(uint32_t port, Fn&& fn) {
    if (port >= QOR_MAX_PORTS) return QOR_ERR_API_INVALID_PORT_HANDLE;
    if (!hasState(port)) {
      // Outside the table's lock: the core calls the release with its own locks held.
      std::lock_guard attaching(attachMutex_);
      if (!hasState(port)) {
        if (uint32_t code = PortCloseHook::attach(port, this, &PortTable::released)) return code;
        std::lock_guard lock(mutex_);
        states_[port] = std::make_unique<State>();
      }
    }
    std::lock_guard lock(mutex_);
    if (!states_[port]) return QOR_ERR_API_INVALID_PORT_HANDLE;  // closed meanwhile
    fn(*states_[port]);
    return 0;
  }

  // Runs fn(State&) when the port has state; false when it has none.
  template <class Fn>
  bool ifState(uint32_t port, Fn&& fn) {
    if (port >= QOR_MAX_PORTS) return false;
    std::lock_guard lock(mutex_);
    if (!states_[port]) return false;
    fn(*states_[port]);
    return true;
  }

  bool hasState(uint32_t port) {
    if (port >= QOR_MAX_PORTS) return false;
    std::lock_guard lock(mutex_);
    return states_[port] != nullptr;
  }

  // Drops the port's state and its hook.
  void erase(uint32_t port) {
    if (port < QOR_MAX_PORTS && drop(port)) PortCloseHook::detach(port, this);
  }

 private:
  static void released(uint32_t port, void* owner) { static_cast<PortTable*>(owner)->drop(port); }

  // True when there was state; it is destroyed outside the lock.
  bool drop(uint32_t port) {
    std::unique_ptr<State> dropped;
    {
      std::lock_guard lock(mutex_);
      if (port < QOR_MAX_PORTS) dropped = std::move(states_[port]);
    }
    return dropped != nullptr;
  }

  std::mutex attachMutex_;      // one registration per port at a time
  std::recursive_mutex mutex_;  // a release may come while fn of the same thread runs (fn closing the port)
  std::array<std::unique_ptr<State>, QOR_MAX_PORTS> states_{};
};

}  // namespace qor::kit
