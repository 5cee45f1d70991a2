// The order in which a port's taps see a firmware frame, and what consuming or passing it does.
#include <gtest/gtest.h>

#include <string>

#include "commands/frame_taps.hpp"

namespace qor::client {
namespace {

std::string gVisits; // the slots a frame visited, in order

TapResult lvdsPasses(Qor_PortInfo_t&, const protocol::Frame&) { return gVisits += 'L', TapResult::Passed; }
TapResult lvdsConsumes(Qor_PortInfo_t&, const protocol::Frame&) { return gVisits += 'L', TapResult::Consumed; }
TapResult monitorPasses(Qor_PortInfo_t&, const protocol::Frame&) { return gVisits += 'M', TapResult::Passed; }
TapResult monitorConsumes(Qor_PortInfo_t&, const protocol::Frame&) { return gVisits += 'M', TapResult::Consumed; }

TEST(FrameTaps, FramesVisitTheSlotsInOrderUntilOneConsumes) {
  struct Case {
    const char* name;
    FrameTap lvds;
    FrameTap monitors;
    const char* visits;
    bool consumed;
  } cases[] = {
      {"no tap", nullptr, nullptr, "", false},
      {"both pass", lvdsPasses, monitorPasses, "LM", false},
      {"the first consumes", lvdsConsumes, monitorPasses, "L", true},
      {"the second consumes", lvdsPasses, monitorConsumes, "LM", true},
      {"only the second", nullptr, monitorConsumes, "M", true},
  };
  Qor_PortInfo_t entry{};
  const protocol::Frame frame{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameTaps taps;
    // Installed in the opposite order: the slot decides, not the time of installation.
    if (c.monitors) taps.install(TapSlot::Monitors, c.monitors);
    if (c.lvds) taps.install(TapSlot::LvdsFrames, c.lvds);
    gVisits.clear();
    EXPECT_EQ(taps.offer(entry, frame), c.consumed);
    EXPECT_EQ(gVisits, c.visits);
  }
}

TEST(FrameTaps, ARemovedTapSeesNoFrame) {
  FrameTaps taps;
  taps.install(TapSlot::LvdsFrames, lvdsConsumes);
  taps.install(TapSlot::Monitors, monitorPasses);
  taps.remove(TapSlot::LvdsFrames);
  Qor_PortInfo_t entry{};
  gVisits.clear();
  EXPECT_FALSE(taps.offer(entry, protocol::Frame{}));
  EXPECT_EQ(gVisits, "M");
}

} // namespace
} // namespace qor::client
