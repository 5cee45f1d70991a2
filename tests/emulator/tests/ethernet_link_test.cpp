// The emulated Ethernet link and the firmware pieces that listen on it, without a transport: who hears a frame,
// which frames the link refuses, and the receive FIFO's and monitor's records as the library's tests rely on them.
#include "qor_emulator/ethernet_link.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "collecting_sink.hpp"
#include "qor_emulator/ethernet_monitor_firmware.hpp"
#include "qor_emulator/ethernet_rx_fifo_firmware.hpp"

namespace qor::emulator {
namespace {

constexpr uint8_t kReceiver = 1;
constexpr uint8_t kSender = 2;
constexpr MacAddress kSenderMac{0x02, 0, 0, 0, 0, 0x02};
constexpr uint16_t kExperimentalType = 0x88B5;

Bytes payload(size_t length, uint8_t seed) {
  Bytes bytes(length);
  for (size_t index = 0; index < length; ++index) bytes[index] = static_cast<uint8_t>(seed + index);
  return bytes;
}

class EthernetLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    link_.attach(device_, kReceiver);
    link_.attach(device_, kSender);
  }

  // The one frame the device answered on the receiver's interface.
  Bytes ask(uint8_t command, const Bytes& parameters) {
    Bytes frame = {'#', 1, 0, 0, 1, kReceiver, 0, 0, 0, 3, 0, command};
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame[2] = static_cast<uint8_t>(frame.size());
    frame[3] = static_cast<uint8_t>(frame.size() >> 8);
    auto sink = std::make_shared<CollectingSink>(1);
    EXPECT_TRUE(device_.receive(frame, sink));
    EXPECT_EQ(sink->sent.size(), 1u);
    return sink->sent.empty() ? Bytes{} : Bytes(sink->sent[0].begin() + 12, sink->sent[0].end());
  }
  static Bytes record(std::initializer_list<uint32_t> words) {
    RecordBytes bytes;
    for (uint32_t word : words) bytes.u32(word);
    return bytes;
  }

  Device device_{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  EthernetLink link_;
};

TEST_F(EthernetLinkTest, EveryOtherNodeHearsTheFrameAsSent) {
  link_.attach(device_, 3);
  std::vector<std::pair<uint8_t, Bytes>> heard;
  for (uint8_t node : {kReceiver, kSender, uint8_t{3}}) {
    link_.addListener(device_, node, [&heard, node](std::span<const uint8_t> frame, uint64_t) {
      heard.emplace_back(node, Bytes(frame.begin(), frame.end()));
    });
  }
  const EthernetFrame frame = EthernetFrame::make(kBroadcastMac, kSenderMac, kExperimentalType, payload(10, 1));
  link_.transmit(device_, kSender, frame);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].first, kReceiver);
  EXPECT_EQ(heard[1].first, 3);
  EXPECT_EQ(heard[0].second, frame.bytes);
  EXPECT_EQ(frame.bytes.size(), kEthernetMinFrameBytes) << "padded to the minimum frame";
  EXPECT_EQ(link_.transmitted(), 1u);
}

TEST_F(EthernetLinkTest, OnlyWellFormedFramesGoOut) {
  const auto withType = [](size_t length, uint16_t type, size_t typeOffset = 12) {
    Bytes frame(length, 0x11);
    frame[typeOffset] = static_cast<uint8_t>(type >> 8);
    frame[typeOffset + 1] = static_cast<uint8_t>(type);
    return frame;
  };
  Bytes tagged = withType(1518, kVlanEtherType);
  tagged[16] = 0x08;
  tagged[17] = 0x00;
  struct Case {
    const char* name;
    Bytes frame;
    bool wellFormed;
  };
  const Case cases[] = {
      {"minimum", withType(60, 0x0800), true},
      {"shorter than the minimum", withType(59, 0x0800), false},
      {"largest", withType(1514, 0x0800), true},
      {"beyond the largest", withType(1515, 0x0800), false},
      {"largest with a VLAN tag", tagged, true},
      {"802.3 length that fits", withType(60, 46), true},
      {"802.3 length beyond the frame", withType(60, 47), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wellFormedEthernetFrame(c.frame), c.wellFormed) << c.name;
    if (!c.wellFormed) {
      EXPECT_THROW(link_.transmit(device_, kSender, EthernetFrame{c.frame}), std::invalid_argument) << c.name;
    }
  }
  EXPECT_THROW(EthernetFrame::make(kBroadcastMac, kSenderMac, 0x0800, payload(1501, 0)), std::invalid_argument);
  EXPECT_THROW(link_.transmit(device_, 9, EthernetFrame{withType(60, 0x0800)}), std::invalid_argument);
}

TEST_F(EthernetLinkTest, TheReceiveFifoCutsFramesIntoFragmentsAndHandsThemOutByRoom) {
  auto firmware = EthernetRxFifoFirmware::attachTo(device_, link_, {kReceiver});
  firmware->setAnswerRoom(250);
  Bytes configure = record({0, 0, 1, 2, 3});
  configure.insert(configure.end(), {100, 0, 0, 0});  // fragments of at most 100 data bytes
  const Bytes configured = ask(0x27, configure);
  ASSERT_EQ(configured, record({0, 1}));
  const EthernetFrame frame = EthernetFrame::make(kBroadcastMac, kSenderMac, kExperimentalType, payload(336, 5));
  link_.transmit(device_, kSender, frame);  // 350 bytes: 100, 100, 100, 50
  EXPECT_EQ(firmware->waitingFragments(kReceiver, 1), 4u);

  Bytes first = ask(0x27, record({2, 1, 0}));
  ASSERT_EQ(first.size(), 12u + 2 * 104);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 12), record({2, 2, 2}));
  EXPECT_EQ(Bytes(first.begin() + 12, first.begin() + 16), (Bytes{100, 0, 0, 1}));
  EXPECT_TRUE(std::equal(frame.bytes.begin(), frame.bytes.begin() + 100, first.begin() + 16));
  Bytes second = ask(0x27, record({2, 1, 0}));
  EXPECT_EQ(Bytes(second.begin(), second.begin() + 12), record({2, 2, 0}));
  EXPECT_EQ(Bytes(second.begin() + 116, second.begin() + 120), (Bytes{50, 0, 0, 0}));

  EXPECT_EQ(ask(0x27, record({1, 0, 1})), record({1}));
  EXPECT_NE(ask(0x27, record({2, 1, 0}))[0], 2) << "a deleted FIFO is refused";
}

TEST_F(EthernetLinkTest, TheMonitorKeepsItemsForReadsWithTheLinkTime) {
  auto firmware = EthernetMonitorFirmware::attachTo(device_, link_, {kReceiver});
  EXPECT_EQ(ask(0x50, record({0, 0x03})), record({0}));
  EXPECT_EQ(ask(0x50, record({1})), record({1}));
  const EthernetFrame frame = EthernetFrame::make(kBroadcastMac, kSenderMac, kExperimentalType, payload(100, 9));
  const uint64_t sentAt = link_.transmit(device_, kSender, frame);
  EXPECT_EQ(firmware->storedItems(kReceiver), 1u);

  const Bytes block = ask(0x50, record({3}));
  ASSERT_EQ(block.size(), 8u + 12 + frame.bytes.size());
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 8), (Bytes{3, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(block[8] | block[9] << 8, static_cast<int>(12 + frame.bytes.size()));
  uint64_t stamp = 0;
  for (size_t index = 0; index < 8; ++index) stamp |= uint64_t{block[12 + index]} << (8 * index);
  EXPECT_EQ(stamp, sentAt);
  EXPECT_TRUE(std::equal(frame.bytes.begin(), frame.bytes.end(), block.begin() + 20));

  EXPECT_EQ(ask(0x50, record({6, 2, 77})), record({6}));
  EXPECT_EQ(ask(0x50, record({7, 2})), record({7, 0, 77}));
  EXPECT_EQ(ask(0x50, {8, 0, 0, 0}), (Bytes{8, 0, 0, 0}));
  EXPECT_NE(ask(0x50, record({7, 3}))[0], 7) << "property 3 is refused";
}

}  // namespace
}  // namespace qor::emulator
