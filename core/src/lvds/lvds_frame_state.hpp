// A port's LVDS frame data: the collector behind the frame filter and what the open found, under the frame
// section.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>

#include "lvds/lvds_frame_collector.hpp"
#include "qor_shared/scoped_lock.hpp"

namespace qor::client {

struct LvdsFrames {
  qor::CriticalSection section;
  std::unique_ptr<FrameCollector> collector; // made when the filter is first installed
  std::condition_variable_any frameCompleted; // wakes a reader waiting for a frame
  bool filterInstalled = false;
  bool grabber = false;   // found at open
  bool generator = false; // found at open
  uint8_t channel = 0;    // carried by the port's LVDS commands
};

} // namespace qor::client
