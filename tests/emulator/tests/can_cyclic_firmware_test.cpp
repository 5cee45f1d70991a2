// The emulated cyclic-message firmware without a transport: what it refuses, what it reports, and that a message
// goes out on the bus from the interface that defined it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "collecting_sink.hpp"
#include "qor_emulator/can_bus.hpp"
#include "qor_emulator/can_cyclic_firmware.hpp"
#include "qor_emulator/device.hpp"

namespace {

using namespace qor::emulator;
using namespace std::chrono_literals;

constexpr uint8_t kDefine = 0x22;
constexpr uint8_t kDelete = 0x2A;
constexpr uint8_t kChange = 0x2E;
constexpr uint8_t kReadState = 0xF8;

class CyclicFirmware : public testing::Test {
 protected:
  // The answer frame to a command of kind 1 on the interface.
  Bytes ask(uint8_t interfaceNumber, uint8_t command, const Bytes& parameters) {
    Bytes frame = {'#', 1, 0, 0, 1, interfaceNumber, 0, 0, 0, 3, 0, command};
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame[2] = static_cast<uint8_t>(frame.size());
    frame[3] = static_cast<uint8_t>(frame.size() >> 8);
    auto sink = std::make_shared<CollectingSink>(1);
    EXPECT_TRUE(device_.receive(frame, sink));
    return sink->sent.size() == 1 ? sink->sent[0] : Bytes{};
  }
  static bool acknowledged(const Bytes& answer) {
    return answer.size() >= 16 && answer[8] == 2 && answer[12] == 0 && answer[13] == 0;
  }
  static std::optional<uint32_t> refusal(const Bytes& answer) {
    if (answer.size() < 16 || answer[8] != 2) return std::nullopt;
    return static_cast<uint32_t>(answer[12] | answer[13] << 8 | answer[14] << 16 | answer[15] << 24);
  }

  Device device_{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  CanBus bus_;
  std::shared_ptr<CanCyclicFirmware> firmware_;
};

TEST_F(CyclicFirmware, UnknownMessagesAndShortRecordsAreRefused) {
  bus_.attach(device_, 1);
  firmware_ = CanCyclicFirmware::attachTo(device_, bus_);
  EXPECT_EQ(refusal(ask(1, kDelete, words({0x123}))), kCanCyclicRefusal);
  EXPECT_EQ(refusal(ask(1, kDefine, {1, 0})), kCanCyclicRefusal);
  EXPECT_EQ(refusal(ask(1, kDefine, words({0x123}, {10, 0, 0, 0, 0, 16}))), kCanCyclicRefusal) << "DLC 16";
  ASSERT_TRUE(acknowledged(ask(1, kDefine, words({0x123}, {0, 0, 0, 0, 0, 0}))));
  EXPECT_EQ(refusal(ask(2, kDelete, words({0x123}))), kCanCyclicRefusal) << "defined on another interface";
  EXPECT_EQ(refusal(ask(1, kChange, words({0x10, 0x123}, {0, 0, 0, 0}))), kCanCyclicRefusal) << "no data section";
  EXPECT_EQ(refusal(ask(1, kChange, words({0x40, 0x123}, Bytes(32, 0)))), kCanCyclicRefusal)
      << "no room for the further data section";
  EXPECT_TRUE(acknowledged(ask(1, kDelete, words({0x123}))));
  EXPECT_EQ(refusal(ask(1, kReadState, words({0x123, 0}))), kCanCyclicRefusal) << "deleted";
}

TEST_F(CyclicFirmware, AMessageGoesOutFromItsInterfaceAndReportsItsState) {
  Device other(DeviceConfig{.serialNumber = 2, .hostType = 58});
  bus_.attach(device_, 1);
  bus_.attach(other, 1);
  std::mutex mutex;
  std::vector<CanFrame> heard;
  bus_.listen(other, 1, [&](const CanFrame& frame, uint64_t) {
    std::lock_guard lock(mutex);
    heard.push_back(frame);
  });
  firmware_ = CanCyclicFirmware::attachTo(device_, bus_);
  ASSERT_TRUE(acknowledged(ask(1, kDefine, words({0x321}, {5, 0, 1, 1, 0x77, 2, 0xAB, 0xCD}))));
  ASSERT_TRUE(acknowledged(ask(2, kDefine, words({0x999}, {5, 0, 1, 0, 0, 0}))))
      << "interface 2 is not on the bus: it sends into the void";

  const Bytes state = ask(1, kReadState, words({0x321, 0}));
  ASSERT_EQ(state.size(), 12u + 76u);
  EXPECT_EQ(Bytes(state.begin() + 12, state.begin() + 26),
            (words({0x321}, {5, 0, 1, 1, 0x77, 2, 0, 0, 0xAB, 0xCD})));

  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex);
      if (heard.size() >= 3) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  firmware_.reset();  // stops the clock before the frames are read
  ASSERT_GE(heard.size(), 3u);
  for (const CanFrame& frame : heard) {
    EXPECT_EQ(frame.identifier, 0x321u);
    EXPECT_EQ(frame.dlc, 2u);
    EXPECT_EQ(frame.data, (Bytes{0xAB, 0xCD}));
  }
}

}  // namespace
