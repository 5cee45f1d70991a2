// The emulated transmit FIFO and traces without a transport: the bus rate, what a full FIFO loses and which requests
// the firmware refuses, as the library's tests rely on them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "collecting_sink.hpp"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_tx_fifo_firmware.hpp"

namespace qor::emulator {
namespace {

constexpr uint8_t kSender = 1;
constexpr uint8_t kListener = 2;

class CanTxFirmware : public testing::Test {
 protected:
  void SetUp() override {
    bus_.attach(device_, kSender);
    bus_.attach(device_, kListener);
    bus_.listen(device_, kListener, [this](const CanFrame& frame, uint64_t busTimeNs) {
      const std::lock_guard lock(mutex_);
      heard_.push_back({frame.identifier, busTimeNs});
    });
  }

  void start(uint32_t slots, uint32_t framesPerSecond) {
    firmware_ = CanTxFifoFirmware::attachTo(device_, bus_, slots, framesPerSecond);
  }

  // The one frame the device answered with.
  Bytes ask(uint8_t command, const Bytes& parameters) {
    Bytes frame = {'#', 1, 0, 0, 1, kSender, 0, 0, 0, 3, 0, command};
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame[2] = static_cast<uint8_t>(frame.size());
    frame[3] = static_cast<uint8_t>(frame.size() >> 8);
    auto sink = std::make_shared<CollectingSink>(1);
    EXPECT_TRUE(device_.receive(frame, sink));
    EXPECT_EQ(sink->sent.size(), 1u);
    return sink->sent.empty() ? Bytes{} : sink->sent[0];
  }
  static bool refused(const Bytes& answer) {
    return answer.size() >= 16 && answer[8] == QOR_FRAME_ACKNOWLEDGE && answer[12] != 0;
  }
  // {free slots, lost messages}
  Bytes state() {
    const Bytes answer = ask(kTxFifoStateCommand, {});
    return Bytes(answer.begin() + 12, answer.end());
  }

  struct Heard {
    uint32_t identifier;
    uint64_t busTimeNs;
  };
  std::mutex mutex_;
  std::vector<Heard> heard_;
  Device device_{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  CanBus bus_;
  std::shared_ptr<CanTxFifoFirmware> firmware_;  // stops before the bus goes
};

// {u32 n, n classic records} of identifiers first, first + 1, ...
Bytes classicChunk(uint32_t first, uint32_t count) {
  Bytes chunk = words({count});
  for (uint32_t index = 0; index < count; ++index) {
    const Bytes record = words({first + index, 1}, {0xAA, 0, 0, 0, 0, 0, 0, 0});
    chunk.insert(chunk.end(), record.begin(), record.end());
  }
  return chunk;
}

TEST_F(CanTxFirmware, TheFifoDrainsInOrderOneFramePerBusPeriod) {
  start(8, 1000);
  const uint64_t queuedNs = bus_.now();
  EXPECT_FALSE(refused(ask(kTxFifoClassicChunkCommand, classicChunk(0x10, 5))));
  ASSERT_TRUE(firmware_->waitUntilSent(kSender, 5000));
  const std::lock_guard lock(mutex_);
  ASSERT_EQ(heard_.size(), 5u);
  // A late sender catches up, but no frame goes out before its period.
  for (uint32_t index = 0; index < 5; ++index) {
    EXPECT_EQ(heard_[index].identifier, 0x10 + index);
    EXPECT_GE(heard_[index].busTimeNs - queuedNs, (index + 1) * 1'000'000u) << index;
  }
  EXPECT_EQ(firmware_->freeSlots(kSender), 8u);
}

TEST_F(CanTxFirmware, WhatDoesNotFitIsLostAndCounted) {
  start(3, 0);
  ask(kTxFifoClassicChunkCommand, classicChunk(0x10, 5));
  EXPECT_EQ(state(), words({0, 2}));
  ask(kTxFifoResetCommand, words({0}));
  ask(kTxFifoClassicChunkCommand, classicChunk(0x10, 2));
  // One slot left: an extended message takes two.
  ask(kTxFifoExtendedChunkCommand, words({0x20}, {0, 0, 0, 0}));
  EXPECT_EQ(state(), words({1, 3}));
}

TEST_F(CanTxFirmware, BrokenRequestsAreRefused) {
  start(8, 0);
  const Bytes handle = ask(kTxTraceCommand, words({0, 0}));
  ASSERT_EQ(handle.size(), 32u);
  const uint32_t trace = handle[20];
  const struct {
    const char* what;
    uint8_t command;
    Bytes parameters;
  } cases[] = {
      {"message reserved byte", kTxFifoMessageCommand, words({0x10}, {1, 0, 1, 0, 0xAA})},
      {"message longer than its DLC", kTxFifoMessageCommand, words({0x10}, {1, 0, 0, 0, 0xAA, 0xBB})},
      {"chunk count", kTxFifoClassicChunkCommand, words({2}, Bytes(16))},
      {"empty extended chunk", kTxFifoExtendedChunkCommand, {}},
      {"item flag", kTxFifoExtendedChunkCommand, words({0x10}, {0, 2, 0, 0})},
      {"unpadded record", kTxFifoExtendedChunkCommand, words({0x10}, {1, 0, 0, 0, 0xAA})},
      {"long data without bit 30", kTxTraceCommand, words({2, trace, 0, 1, 0, 0x10}, Bytes(4 + 12))},
      {"record count", kTxTraceCommand, words({2, trace, 0, 2, 0, 0x10, 0, 0, 0, 0})},
      {"unknown handle", kTxTraceCommand, words({4, trace + 1})},
      {"property 2", kTxTraceCommand, words({6, trace, 2})},
  };
  for (const auto& c : cases) EXPECT_TRUE(refused(ask(c.command, c.parameters))) << c.what;
  EXPECT_EQ(state(), words({8, 0})) << "nothing queued";
}

}  // namespace
}  // namespace qor::emulator
