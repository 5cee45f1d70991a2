// The taps on a port's firmware frames (message 0xF0): features that look at each parsed frame before the answer
// matching does. They see a frame in the fixed order of their slots; a tap that consumed the frame ends its way, one
// that passed it hands it on, and a frame that every tap passed goes to the matching. Called on the response thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

#include "qor_client_state.h"
#include "qor_shared/protocol.hpp"

namespace qor::client {

enum class TapResult { Passed, Consumed };
using FrameTap = TapResult (*)(Qor_PortInfo_t& entry, const protocol::Frame& frame);

// One slot per feature, in the order the frames visit them.
enum class TapSlot : size_t {
  LvdsFrames, // frame chunks of a frame grabber while its filter is installed
  Monitors,   // frames that a started monitor's bus filter takes
  Count
};

class FrameTaps {
 public:
  // The feature's tap takes its slot or leaves it; any thread, while the response thread offers frames.
  void install(TapSlot slot, FrameTap tap) { taps_[index(slot)].store(tap); }
  void remove(TapSlot slot) { taps_[index(slot)].store(nullptr); }

  // True while some feature has its tap installed.
  bool any() const {
    for (const std::atomic<FrameTap>& slot : taps_) {
      if (slot.load() != nullptr) return true;
    }
    return false;
  }

  // True when a tap consumed the frame.
  bool offer(Qor_PortInfo_t& entry, const protocol::Frame& frame) const {
    for (const std::atomic<FrameTap>& slot : taps_) {
      const FrameTap tap = slot.load();
      if (tap != nullptr && tap(entry, frame) == TapResult::Consumed) return true;
    }
    return false;
  }

 private:
  static constexpr size_t index(TapSlot slot) { return static_cast<size_t>(slot); }
  std::array<std::atomic<FrameTap>, static_cast<size_t>(TapSlot::Count)> taps_{};
};

} // namespace qor::client
