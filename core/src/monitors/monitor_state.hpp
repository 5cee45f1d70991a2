// The monitor instances of a port and the one that the instance-less calls address.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "monitors/monitor_ring.hpp"
#include "qor_monitor.h"
#include "qor_shared/scoped_lock.hpp"

// One monitor instance of a port. Guarded by the port's monitor section.
struct MonitorInstance {
  static constexpr uint8_t kStarted = 1u << 0;
  static constexpr uint8_t kCallbackMode = 1u << 1;
  static constexpr uint8_t kNoBusFilter = 1u << 2;
  uint8_t flags = 0;
  Qor_Monitor_Callback_t callback = nullptr;
  Qor_Monitor_Cleanup_t cleanup = nullptr;
  uint32_t contextSize = 0;
  std::unique_ptr<std::byte[]> context; // the callback's context, zeroed; handed to the application by address
  std::unique_ptr<qor::client::MonitorRing> ring;
  ExternalEvent* userEvent = nullptr;
};

namespace qor::client {

struct PortMonitors {
  qor::CriticalSection section;
  std::atomic<uint8_t> current{0};
  MonitorInstance instances[QOR_MONITOR_INSTANCES];
};

} // namespace qor::client
