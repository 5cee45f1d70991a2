// Cyclic messages as they really go out: the emulated firmware sends them on the emulated bus from interface 1 on its
// own clock, and a listener on interface 2 checks what arrives, when, and what a change did to it.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "cyclic_road.hpp"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_cyclic_firmware.hpp"

namespace qor::can::test {
namespace {

using namespace std::chrono_literals;
using emulator::CanFrame;

struct Heard {
  CanFrame frame;
  uint64_t busTimeNs;
};

class CyclicOnTheBus : public CyclicRoad {
 protected:
  void SetUp() override {
    CyclicRoad::SetUp();
    bus_.attach(*device_, 1);
    bus_.attach(*device_, 2);
    firmware_ = emulator::CanCyclicFirmware::attachTo(*device_, bus_);
    bus_.listen(*device_, 2, [this](const CanFrame& frame, uint64_t busTimeNs) {
      std::lock_guard lock(mutex_);
      heard_.push_back({frame, busTimeNs});
      arrived_.notify_all();
    });
  }
  void TearDown() override {
    firmware_.reset();
    CyclicRoad::TearDown();
  }

  // Waits (bounded) until `count` frames of the identifier have arrived since the from-th frame heard; gives the
  // first `count` of them, or fewer when they did not come.
  std::vector<Heard> waitFor(uint32_t identifier, size_t count, size_t from = 0,
                             std::chrono::milliseconds limit = 3000ms) {
    std::unique_lock lock(mutex_);
    std::vector<Heard> found;
    arrived_.wait_for(lock, limit, [&] {
      found.clear();
      for (size_t index = from; index < heard_.size() && found.size() < count; ++index) {
        if (heard_[index].frame.identifier == identifier) found.push_back(heard_[index]);
      }
      return found.size() == count;
    });
    return found;
  }
  size_t heardSoFar() {
    std::lock_guard lock(mutex_);
    return heard_.size();
  }

  emulator::CanBus bus_;
  std::shared_ptr<emulator::CanCyclicFirmware> firmware_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Heard> heard_;
};

// The mean gap between the first and the last frame, in milliseconds. The firmware keeps to its schedule, so a late
// wake-up under load shortens the gap after it: only the last frame's delay counts, shared by all the gaps.
double meanGapMs(const std::vector<Heard>& frames) {
  if (frames.size() < 2) return 0;
  return static_cast<double>(frames.back().busTimeNs - frames.front().busTimeNs) / 1e6 /
         static_cast<double>(frames.size() - 1);
}

TEST_F(CyclicOnTheBus, ADefinedMessageArrivesEveryCycleWithItsData) {
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x123, 20, 1, 0, 0, data, 8), 0u) << lastText();
  const std::vector<Heard> frames = waitFor(0x123, 10);
  ASSERT_EQ(frames.size(), 10u);
  for (const Heard& heard : frames) {
    EXPECT_EQ(heard.frame.dlc, 8u);
    EXPECT_EQ(heard.frame.data, Bytes(data, data + 8));
  }
  EXPECT_NEAR(meanGapMs(frames), 20.0, 8.0);
}

TEST_F(CyclicOnTheBus, AStoppedMessageFallsSilentAndStartsAgain) {
  const uint8_t data[2] = {0xAA, 0xBB};
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x200, 10, 0, 0, 0, data, 2), 0u) << lastText();
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(heardSoFar(), 0u) << "defined without sending";

  ASSERT_EQ(Qor_Can_CyclicMsgs_StartMsg(port_, 0x200), 0u) << lastText();
  ASSERT_EQ(waitFor(0x200, 3).size(), 3u);
  ASSERT_EQ(Qor_Can_CyclicMsgs_StopMsg(port_, 0x200), 0u) << lastText();
  const size_t atStop = heardSoFar();
  std::this_thread::sleep_for(80ms);
  EXPECT_LE(heardSoFar(), atStop + 1) << "at most one frame already under way";

  const size_t beforeRestart = heardSoFar();
  ASSERT_EQ(Qor_Can_CyclicMsgs_StartMsg(port_, 0x200), 0u) << lastText();
  EXPECT_EQ(waitFor(0x200, 2, beforeRestart).size(), 2u);
}

TEST_F(CyclicOnTheBus, ChangedDataArriveWhereTheMaskLetsThemThrough) {
  uint8_t data[12] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};
  const uint32_t id = kFdMessage | 0x300;
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, id, 10, 1, 0, 0, data, 9), 0u) << lastText();
  ASSERT_EQ(waitFor(id, 1).size(), 1u);

  const uint8_t changed[12] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB};
  const uint8_t mask[12] = {0xFF, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};
  ASSERT_EQ(Qor_Can_CyclicMsgs_ChangeMsgData(port_, id, changed, 9, mask, 0, 0), 0u) << lastText();
  const size_t afterChange = heardSoFar();
  const std::vector<Heard> frames = waitFor(id, 1, afterChange);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].frame.data,
            (Bytes{0xF0, 0x22, 0x32, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xF9, 0xBB, 0xCC}));

  Qor_Can_CyclicMsgs_MsgState_t state{};
  ASSERT_EQ(Qor_Can_CyclicMsgs_GetMsgState(port_, id, &state), 0u) << lastText();
  EXPECT_EQ(state.cycleTime, 10u);
  EXPECT_EQ(state.sendState, 1u);
  EXPECT_EQ(state.dlc, 9u);
  EXPECT_EQ(Bytes(state.data, state.data + 12), frames[0].frame.data);
}

TEST_F(CyclicOnTheBus, ANewCycleTimeSpacesTheFramesOut) {
  const uint8_t data[1] = {7};
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x400, 10, 1, 0, 0, data, 1), 0u) << lastText();
  EXPECT_NEAR(meanGapMs(waitFor(0x400, 8)), 10.0, 6.0);
  ASSERT_EQ(Qor_Can_CyclicMsgs_ChangeCycleTime(port_, 0x400, 40), 0u) << lastText();
  const size_t afterChange = heardSoFar() + 1;  // the frame already planned on the old cycle left out
  EXPECT_NEAR(meanGapMs(waitFor(0x400, 6, afterChange)), 40.0, 12.0);
}

TEST_F(CyclicOnTheBus, GroupOneStartsAndStopsTogether) {
  const uint8_t data[1] = {1};
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x501, 10, 0, 1, 0, data, 1), 0u) << lastText();
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x502, 10, 0, 1, 0, data, 1), 0u) << lastText();
  ASSERT_EQ(Qor_Can_CyclicMsgs_DefineMsg(port_, 0x503, 10, 0, 0, 0, data, 1), 0u) << lastText();
  ASSERT_EQ(Qor_Can_CyclicMsgs_StartGroup(port_, 1), 0u) << lastText();
  EXPECT_EQ(waitFor(0x501, 3).size(), 3u);
  EXPECT_EQ(waitFor(0x502, 3).size(), 3u);
  EXPECT_TRUE(waitFor(0x503, 1, 0, 0ms).empty()) << "group 0 stays quiet";
  ASSERT_EQ(Qor_Can_CyclicMsgs_StopGroup(port_, 1), 0u) << lastText();
  const size_t atStop = heardSoFar();
  std::this_thread::sleep_for(60ms);
  EXPECT_LE(heardSoFar(), atStop + 2);
}

}  // namespace
}  // namespace qor::can::test
