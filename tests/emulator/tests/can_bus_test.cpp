// The emulated CAN bus: who hears a frame, in which order, and at which time.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "qor_emulator/can_bus.hpp"

namespace qor::emulator {
namespace {

constexpr uint32_t kEthernetModel = 58;

struct Heard {
  std::string node;
  uint32_t identifier;
  uint64_t busTimeNs;
};

TEST(CanBus, EveryOtherNodeHearsTheFramesInTheOrderSent) {
  Device first(DeviceConfig{.serialNumber = 1, .hostType = kEthernetModel});
  Device second(DeviceConfig{.serialNumber = 2, .hostType = kEthernetModel});
  CanBus bus;
  bus.attach(first, 1);
  bus.attach(first, 2);
  bus.attach(second, 1);
  std::vector<Heard> heard;
  auto recordAs = [&](std::string node) {
    return [&heard, node](const CanFrame& frame, uint64_t busTimeNs) {
      heard.push_back({node, frame.identifier, busTimeNs});
    };
  };
  bus.listen(first, 1, recordAs("first/1"));
  bus.listen(first, 2, recordAs("first/2"));
  bus.listen(second, 1, recordAs("second/1"));

  bus.transmit(first, 1, CanFrame{0x100, 0, 1, {0xAA}});
  bus.transmit(second, 1, CanFrame{0x200, 0, 0, {}});

  ASSERT_EQ(heard.size(), 4u);
  auto listenersOf = [&](size_t index) {  // the listeners of one frame, in no particular order
    std::vector<std::string> nodes{heard[index].node, heard[index + 1].node};
    std::sort(nodes.begin(), nodes.end());
    return nodes[0] + "," + nodes[1];
  };
  EXPECT_EQ(listenersOf(0), "first/2,second/1");
  EXPECT_EQ(listenersOf(2), "first/1,first/2");
  EXPECT_EQ(heard[0].identifier, 0x100u);
  EXPECT_EQ(heard[2].identifier, 0x200u);
  EXPECT_EQ(heard[0].busTimeNs, heard[1].busTimeNs) << "one frame, one bus time";
  EXPECT_LE(heard[1].busTimeNs, heard[2].busTimeNs);
  EXPECT_EQ(bus.transmitted(), 2u);
}

TEST(CanBus, ANodeWithoutListenerOrNotAttachedIsHandledPlainly) {
  Device device(DeviceConfig{.serialNumber = 1, .hostType = kEthernetModel});
  CanBus bus;
  bus.attach(device, 1);
  bus.attach(device, 2);
  EXPECT_NO_THROW(bus.transmit(device, 1, CanFrame{}));  // nobody listens
  EXPECT_THROW(bus.transmit(device, 3, CanFrame{}), std::invalid_argument);
  EXPECT_THROW(bus.listen(device, 3, {}), std::invalid_argument);
  int heard = 0;
  bus.listen(device, 2, [&](const CanFrame&, uint64_t) { ++heard; });
  bus.transmit(device, 1, CanFrame{});
  bus.listen(device, 2, {});
  bus.transmit(device, 1, CanFrame{});
  EXPECT_EQ(heard, 1);
}

}  // namespace
}  // namespace qor::emulator
