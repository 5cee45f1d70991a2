// The emulated MOST ring: who hears a control message, in which order, and from which address.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "qor_emulator/most_ring.hpp"

namespace qor::emulator {
namespace {

constexpr uint32_t kEthernetModel = 58;

struct Heard {
  std::string node;
  uint16_t source;
  uint16_t function;
};

TEST(MostRing, EveryOtherNodeHearsTheMessageInRingOrderFromTheSendersSuccessor) {
  Device first(DeviceConfig{.serialNumber = 1, .hostType = kEthernetModel});
  Device second(DeviceConfig{.serialNumber = 2, .hostType = kEthernetModel});
  MostRing ring;
  ring.attach(first, 1, 0x100);
  ring.attach(second, 1, 0x101);
  ring.attach(first, 2, 0x102);
  std::vector<Heard> heard;
  auto recordAs = [&](std::string node) {
    return [&heard, node](const MostControlMessage& message, uint64_t) {
      heard.push_back({node, message.sourceAddress, message.functionId});
    };
  };
  ring.listen(first, 1, recordAs("first/1"));
  ring.listen(second, 1, recordAs("second/1"));
  ring.listen(first, 2, recordAs("first/2"));

  ring.transmit(second, 1, MostControlMessage{.sourceAddress = 0x7777, .functionId = 0x10, .data = {1}});
  ring.transmit(first, 1, MostControlMessage{.functionId = 0x20, .data = {}});

  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[0].node, "first/2");
  EXPECT_EQ(heard[1].node, "first/1");
  EXPECT_EQ(heard[0].source, 0x101);  // the ring sets the sender's address
  EXPECT_EQ(heard[1].source, 0x101);
  EXPECT_EQ(heard[2].node, "second/1");
  EXPECT_EQ(heard[3].node, "first/2");
  EXPECT_EQ(heard[3].source, 0x100);
  EXPECT_EQ(heard[3].function, 0x20);
  EXPECT_EQ(ring.transmitted(), 2u);

  ring.listen(first, 2, nullptr);
  ring.transmit(first, 1, MostControlMessage{});
  EXPECT_EQ(heard.size(), 5u);
}

TEST(MostRing, ANodesControlSideHearsAMessageBeforeItsApplicationSide) {
  Device device(DeviceConfig{.serialNumber = 1, .hostType = kEthernetModel});
  MostRing ring;
  ring.attach(device, 1, 0x100);
  ring.attach(device, 2, 0x101);
  EXPECT_EQ(ring.addressOf(device, 2), 0x101);
  std::vector<std::string> heard;
  ring.listen(device, 2, [&](const MostControlMessage&, uint64_t) { heard.push_back("application"); },
              MostListenerRole::kApplication);
  ring.listen(device, 2, [&](const MostControlMessage&, uint64_t) { heard.push_back("control"); });
  ring.transmit(device, 1, MostControlMessage{});
  EXPECT_EQ(heard, (std::vector<std::string>{"control", "application"}));
  ring.listen(device, 2, nullptr, MostListenerRole::kApplication);
  ring.transmit(device, 1, MostControlMessage{});
  EXPECT_EQ(heard.size(), 3u);
}

TEST(MostRing, RefusesUnknownNodesTwiceAttachedNodesAndOverlongData) {
  Device device(DeviceConfig{.serialNumber = 1, .hostType = kEthernetModel});
  MostRing ring;
  ring.attach(device, 1, 0x100);
  EXPECT_THROW(ring.attach(device, 1, 0x200), std::invalid_argument);
  EXPECT_THROW(ring.transmit(device, 2, MostControlMessage{}), std::invalid_argument);
  EXPECT_THROW(ring.listen(device, 2, nullptr), std::invalid_argument);
  EXPECT_THROW(ring.addressOf(device, 2), std::invalid_argument);
  MostControlMessage tooLong;
  tooLong.data.resize(256);
  EXPECT_THROW(ring.transmit(device, 1, tooLong), std::invalid_argument);
  tooLong.data.resize(255);
  EXPECT_NO_THROW(ring.transmit(device, 1, tooLong));
}

}  // namespace
}  // namespace qor::emulator
