// The host's ring of large items: filled by the monitor instance's callback with the firmware's blocks, read by the
// application into its slots. When the ring is full, the rest of a block is dropped and the newest stored item is
// marked; a malformed item ends its block the same way.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "qor_can_monitor.h"
#include "qor_kit/monitor_session.hpp"

namespace qor::can {

class LargeItemRing : public kit::MonitorSession {
 public:
  // At least one slot.
  explicit LargeItemRing(uint32_t slots) : slots_(slots) {}

  void deliver(uint32_t port, std::span<const uint8_t> block) override;

  struct Taken {
    uint32_t count;
    bool more;
  };
  // Moves up to capacity items, the oldest first, into out.
  Taken read(Can_Param_Monitor_Buffer64_LargeItem_t* out, uint32_t capacity);

 private:
  void markNewest();  // with mutex_ held

  std::mutex mutex_;  // between the core's delivering thread and the application's reader
  std::vector<Can_Param_Monitor_Buffer64_LargeItem_t> slots_;
  size_t stored_ = 0;
  size_t read_ = 0;
  size_t write_ = 0;
};

}  // namespace qor::can
