// Handles of the port table: checking them and holding a port while a call works on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "ports/port_context.hpp"
#include "ports/port_flags.hpp"

namespace qor::client {

// Library-private bookkeeping beside each exported entry: the owner of the port's state (the entry only points to
// it), the calls working on the port, whether a close has begun (one thread closes), and whether it turns new calls
// away. A close waits for the calls before it frees the port's state.
//
// The open of a port runs from taking the slot to the end of the exported open, which works on the port's state
// throughout: a signal's clean-up only asks it to close the port (CloseRequested) instead of freeing the state.
enum class OpenPhase : uint8_t { Done, Running, CloseRequested };
struct PortSlot {
  std::unique_ptr<Qor_PortContext> context; // under the process lock
  std::atomic<uint32_t> users{0};
  std::atomic<bool> closeStarted{false};
  std::atomic<bool> closing{false};
  std::atomic<OpenPhase> openPhase{OpenPhase::Done};
};
PortSlot& portSlot(uint32_t port);

// A use of an open port; empty when the handle names no open port (or one being closed).
class PortRef {
 public:
  static PortRef acquire(uint32_t port);
  PortRef() = default;
  PortRef(PortRef&& other) noexcept : port_(other.port_) { other.port_ = QOR_NO_PORT; }
  PortRef& operator=(PortRef&&) = delete;
  PortRef(const PortRef&) = delete;
  ~PortRef();

  explicit operator bool() const { return port_ != QOR_NO_PORT; }
  uint32_t handle() const { return port_; }
  Qor_PortInfo_t& entry() const { return PortInfo[port_]; }
  Qor_PortContext& context() const { return *portContext(PortInfo[port_]); }

 private:
  explicit PortRef(uint32_t port) : port_(port) {}
  uint32_t port_ = QOR_NO_PORT;
};

// As PortRef::acquire; a handle that names no open port records 0x200000A "port not initialized" for no port.
PortRef checkedPort(uint32_t port);

} // namespace qor::client
