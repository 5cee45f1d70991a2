// The frame rules of the emulator's core, without a transport: a sink stands in for the connection.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "collecting_sink.hpp"
#include "qor_emulator/device.hpp"

namespace {

using namespace qor::emulator;
using namespace std::chrono_literals;

DeviceConfig ethernetDevice() {
  return DeviceConfig{.serialNumber = 0x01020304,
                      .hostType = 58,
                      .identity = Identity{61, true, 0x0201, {{4, 0}, {12, 1}}}};
}

struct FrameCase {
  const char* name;
  std::function<void(Device&)> setUp;
  Bytes command;
  std::vector<Bytes> answers;
};

void PrintTo(const FrameCase& c, std::ostream* out) { *out << c.name; }

class FrameRules : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameRules, AnswersByteExact) {
  Device device(ethernetDevice());
  if (GetParam().setUp) GetParam().setUp(device);
  auto sink = std::make_shared<CollectingSink>(1);
  ASSERT_TRUE(device.receive(GetParam().command, sink));
  EXPECT_EQ(sink->sent, GetParam().answers);
  ASSERT_EQ(device.recorder().count(), 1u);
  const auto recorded = device.recorder().frames()[0];
  EXPECT_EQ(Bytes(recorded.bytes().begin(), recorded.bytes().end()), GetParam().command);
  EXPECT_EQ(recorded.connection(), 1u);
}

// Commands: '#', request kind, u16 length, TAddr, TPort, 0, 0, type 0, App, Mod, command, parameters.
INSTANTIATE_TEST_SUITE_P(
    Device, FrameRules,
    testing::Values(
        FrameCase{"AcknowledgeForKind1", nullptr, {'#', 1, 12, 0, 1, 2, 0, 0, 0, 7, 9, 0x42},
                  {{'#', 1, 16, 0, 1, 2, 0, 0, 2, 7, 9, 0x42, 0, 0, 0, 0}}},
        FrameCase{"NothingForKind2", nullptr, {'#', 2, 13, 0, 1, 2, 0, 0, 0, 7, 9, 0x42, 0x55}, {}},
        FrameCase{"NothingForRawKind0", nullptr, {'#', 0, 12, 0, 1, 2, 0, 0, 0, 7, 9, 0x42}, {}},
        FrameCase{"SerialNumberQuery",
                  nullptr,
                  {'#', 2, 16, 0, 3, 1, 0, 0, 0, 0, 0, 0x0C, 5, 0, 0, 0},
                  {{'#', 2, 20, 0, 3, 1, 0, 0, 1, 0, 0, 0x0C, 5, 0, 0, 0, 4, 3, 2, 1}}},
        FrameCase{"OtherSerialSubFunctionByDefault",
                  nullptr,
                  {'#', 1, 16, 0, 0, 0, 0, 0, 0, 2, 0, 0x0C, 7, 0, 0, 0},
                  {{'#', 1, 16, 0, 0, 0, 0, 0, 2, 2, 0, 0x0C, 0, 0, 0, 0}}},
        FrameCase{"Identity",
                  nullptr,
                  {'#', 2, 20, 0, 0, 1, 0, 0, 0, 4, 1, 0xFF, 0, 0, 0, 0, 5, 0, 0, 0},
                  {{'#', 2, 56, 0, 0, 1, 0, 0, 1, 4, 1, 0xFF,                   //
                    0, 0, 0, 0, 1, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0, 0,      // 0: 0, boot loader, word 8
                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 61, 0, 0, 0,            // 28: device code
                    0, 0, 0, 0, 2, 0, 0, 0, 4, 0, 12, 1}}},                     // 36: count, pairs
        FrameCase{"ErrorText", [](Device& d) { d.setErrorText(0x123456, "bus off"); },
                  {'#', 2, 16, 0, 0, 0, 0, 0, 0, 3, 0, 0xFD, 0x56, 0x34, 0x12, 0},
                  {{'#', 2, 24, 0, 0, 0, 0, 0, 1, 3, 0, 0xFD, 0x56, 0x34, 0x12, 0, 'b', 'u', 's', ' ', 'o', 'f', 'f',
                    0}}},
        FrameCase{"ErrorTextOfUnknownCodeIsEmpty", nullptr, {'#', 2, 16, 0, 0, 0, 0, 0, 0, 3, 0, 0xFD, 9, 0, 0, 0},
                  {{'#', 2, 17, 0, 0, 0, 0, 0, 1, 3, 0, 0xFD, 9, 0, 0, 0, 0}}},
        FrameCase{"HandlerResponseEchoesControlBytes",
                  [](Device& d) {
                    d.onCommand(0x42, [](const ReceivedFrame& f) { return f.response(Bytes{0xAA, 0xBB}, 2); });
                  },
                  {'#', 2, 15, 0, 1, 2, 0, 0, 0, 7, 9, 0x42, 0x10, 0x20, 0x30},
                  {{'#', 2, 16, 0, 1, 2, 0, 0, 1, 7, 9, 0x42, 0x10, 0x20, 0xAA, 0xBB}}},
        FrameCase{"HandlerNegativeAcknowledge",
                  [](Device& d) {
                    d.onCommand(0x42, [](const ReceivedFrame& f) { return f.negativeAcknowledge(0x20, "no"); });
                  },
                  {'#', 1, 12, 0, 1, 2, 0, 0, 0, 7, 9, 0x42},
                  {{'#', 1, 19, 0, 1, 2, 0, 0, 2, 7, 9, 0x42, 0x20, 0, 0, 0, 'n', 'o', 0}}},
        FrameCase{"HandlerReplacesBuiltIn", [](Device& d) { d.onCommand(0x0C, [](const ReceivedFrame&) {
                                                               return Reply();
                                                             }); },
                  {'#', 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C, 5, 0, 0, 0}, {}}),
    [](const testing::TestParamInfo<FrameCase>& test) { return std::string(test.param.name); });

TEST(Device, RejectsWhatIsNoFrame) {
  const std::vector<Bytes> broken = {
      {'$', 1, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0x42},        // marker
      {'#', 1, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0x42},        // length below the header
      {'#', 1, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0x42},        // length beyond the bytes
      {'#', 1, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0x42, 0, 0},  // bytes beyond the length
      {'#', 1, 12},
  };
  Device device(ethernetDevice());
  auto sink = std::make_shared<CollectingSink>(1);
  for (const auto& bytes : broken) EXPECT_FALSE(device.receive(bytes, sink));
  EXPECT_EQ(device.malformedFrames(), broken.size());
  EXPECT_EQ(device.recorder().count(), 0u);
  EXPECT_TRUE(sink->sent.empty());
}

TEST(Device, IdentityFollowsHostTypeUnlessGiven) {
  EXPECT_EQ(Device(DeviceConfig{.serialNumber = 1, .hostType = 77}).identity().deviceCode, 75u);
  EXPECT_THROW(Device(DeviceConfig{.serialNumber = 1, .hostType = 18}), std::invalid_argument);
}

TEST(Device, UnsolicitedFramesFollowTheApplication) {
  Device device(ethernetDevice());
  auto first = std::make_shared<CollectingSink>(1);
  auto second = std::make_shared<CollectingSink>(2);
  ASSERT_TRUE(device.receive(Bytes{'#', 2, 12, 0, 1, 0, 0, 0, 0, 3, 8, 0x42}, first));
  ASSERT_TRUE(device.receive(Bytes{'#', 2, 12, 0, 0, 1, 0, 0, 0, 5, 8, 0x42}, second));

  EXPECT_EQ(device.lastApplicationOn(0, 1), 5);
  EXPECT_FALSE(device.lastApplicationOn(1, 1).has_value());

  const Bytes data{9, 8};
  ASSERT_TRUE(device.sendToApplication(3, 0x23, data));
  EXPECT_EQ(first->sent, (std::vector<Bytes>{{'#', 2, 14, 0, 1, 0, 0, 0, 1, 3, 8, 0x23, 9, 8}}));
  EXPECT_TRUE(second->sent.empty());

  // Once its connection is gone, the application's frames take the one that carried the last frame.
  first->open = false;
  ASSERT_TRUE(device.sendToApplication(3, Reply(Bytes{1, 2, 3})));
  EXPECT_EQ(second->sent, (std::vector<Bytes>{{1, 2, 3}}));

  EXPECT_FALSE(device.sendToApplication(4, 0x23, data));  // never seen
  second->open = false;
  EXPECT_FALSE(device.sendToApplication(5, 0x23, data));
}

TEST(Recorder, WaitsBoundedForTheNthFrame) {
  Device device(ethernetDevice());
  auto sink = std::make_shared<CollectingSink>(1);
  std::thread late([&] {
    std::this_thread::sleep_for(50ms);
    device.receive(Bytes{'#', 2, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0x42}, sink);
    device.receive(Bytes{'#', 2, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0x43}, sink);
  });
  const auto second = device.recorder().waitFor(1, 5s);
  late.join();
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->command(), 0x43);
  EXPECT_EQ(device.recorder().waitForCommand(0x42, 0ms)->command(), 0x42);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device.recorder().waitFor(2, 100ms).has_value());
  EXPECT_FALSE(device.recorder().waitForCommand(0x42, 0ms, 1).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

}  // namespace
