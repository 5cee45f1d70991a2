// The emulated FlexRay cluster and its nodes' firmware without a transport: a frame one node transmits reaches the
// receive buffers and monitors of the others on its channels, and requests the firmware cannot serve are refused.
#include "qor_emulator/flexray_firmware.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "collecting_sink.hpp"
#include "qor_emulator/device.hpp"
#include "qor_emulator/flexray_cluster.hpp"

namespace {

using namespace qor::emulator;

constexpr uint8_t kController = 0x20;
constexpr uint8_t kMonitor = 0x21;
constexpr uint8_t kSender = 1, kReceiver = 2, kApplication = 3;

class FlexRayFirmwareTest : public testing::Test {
 protected:
  FlexRayFirmwareTest() : firmware_(FlexRayFirmware::attachTo(device_, cluster_, {kSender, kReceiver})) {}

  // Every frame the device sends back for a command of kind 1 on the interface, the answer first.
  std::vector<Bytes> ask(uint8_t interfaceNumber, uint8_t command, const Bytes& parameters) {
    Bytes frame = {'#', 1, 0, 0, 1, interfaceNumber, 0, 0, 0, kApplication, 0, command};
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame[2] = static_cast<uint8_t>(frame.size());
    frame[3] = static_cast<uint8_t>(frame.size() >> 8);
    sink_->sent.clear();
    EXPECT_TRUE(device_.receive(frame, sink_));
    return sink_->sent;
  }
  // The data of the last answer frame, or none for a negative acknowledge.
  std::optional<Bytes> answer(uint8_t interfaceNumber, uint8_t command, const Bytes& parameters) {
    const std::vector<Bytes> frames = ask(interfaceNumber, command, parameters);
    if (frames.empty() || frames.back()[8] != QOR_FRAME_RESPONSE) return std::nullopt;
    return Bytes(frames.back().begin() + 12, frames.back().end());
  }
  uint32_t handleOf(const std::optional<Bytes>& data) {
    EXPECT_TRUE(data && data->size() >= 8);
    return data && data->size() >= 8 ? ((*data)[4] | (*data)[5] << 8 | (*data)[6] << 16 | (*data)[7] << 24) : 0;
  }

  Device device_{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  FlexRayCluster cluster_;
  std::shared_ptr<FlexRayFirmware> firmware_;
  std::shared_ptr<CollectingSink> sink_ = std::make_shared<CollectingSink>(1);
};

TEST_F(FlexRayFirmwareTest, ATransmittedFrameReachesTheOtherNodesBuffersAndMonitorOnItsChannel) {
  const uint32_t tx =
      handleOf(answer(kSender, kController,
                      RecordBytes().u32(9).u16(0x25).u8(4).u8(0).u8(kFlexRayChannelA).u8(1).u16(0).u32(0).u16(0)));
  const uint32_t onA = handleOf(
      answer(kReceiver, kController, RecordBytes().u32(10).u16(0x25).u8(0).u8(0).u8(kFlexRayChannelA).zeros(3)));
  const uint32_t onB = handleOf(
      answer(kReceiver, kController, RecordBytes().u32(10).u16(0x25).u8(0).u8(0).u8(kFlexRayChannelB).zeros(3)));
  const uint32_t own =
      handleOf(answer(kSender, kController, RecordBytes().u32(10).u16(0x25).u8(0).u8(0).u8(kFlexRayChannelA).zeros(3)));
  ASSERT_TRUE(answer(kReceiver, kMonitor, {1, 2, 0, 0}));

  const std::vector<Bytes> frames =
      ask(kSender, kController, RecordBytes().u32(13).u32(tx).u8(2).zeros(7).u32(0xDDCCBBAA));
  ASSERT_EQ(frames.size(), 2u) << "the receiver's monitor frame, then the answer";
  const Bytes monitorData(frames[0].begin() + 12, frames[0].end());
  EXPECT_EQ(frames[0][11], kMonitor);
  EXPECT_EQ(frames[0][5], kReceiver);
  ASSERT_EQ(monitorData.size(), 8u + 24u);
  EXPECT_EQ(Bytes(monitorData.begin(), monitorData.begin() + 8),
            RecordBytes().u8(3).u8(2).u16(0).u32(1).operator Bytes());
  EXPECT_EQ(Bytes(monitorData.begin() + 8, monitorData.begin() + 12),
            RecordBytes().u16(24).u16(kFlexRayReceivedEntry).operator Bytes());
  EXPECT_EQ(Bytes(monitorData.begin() + 20, monitorData.end()),
            RecordBytes().u16(0x25).u8(4).u8(kFlexRayChannelA).u8(2).zeros(3).u32(0xDDCCBBAA).operator Bytes());

  const Bytes read = RecordBytes().u32(14).u32(onA).u32(0);
  const Bytes heard =
      RecordBytes().u32(14).u16(0x25).u8(4).u8(kFlexRayChannelA).u8(2).zeros(3).u8(1).zeros(3).u32(0xDDCCBBAA);
  EXPECT_EQ(answer(kReceiver, kController, read), heard);
  Bytes again = heard;
  again[12] = 0;
  EXPECT_EQ(answer(kReceiver, kController, read), again) << "read once";
  EXPECT_EQ(answer(kReceiver, kController, RecordBytes().u32(14).u32(onB).u32(0)),
            RecordBytes().u32(14).u16(0x25).zeros(10).operator Bytes())
      << "not on channel B";
  EXPECT_EQ(answer(kSender, kController, RecordBytes().u32(14).u32(own).u32(0)),
            RecordBytes().u32(14).u16(0x25).zeros(10).operator Bytes())
      << "a node does not hear itself";
  EXPECT_EQ(cluster_.transmitted(), 1u);
}

TEST_F(FlexRayFirmwareTest, RequestsItCannotServeAreRefused) {
  const Bytes refused[] = {
      RecordBytes().u16(9),                                 // no sub-function
      RecordBytes().u32(9).u16(1).u8(0).u8(0).u8(1).u8(2),  // a transmit buffer without its data
      RecordBytes().u32(13).u32(77).u8(0).zeros(7),         // an unknown handle
      RecordBytes().u32(11).u32(77),
  };
  for (const Bytes& record : refused) EXPECT_FALSE(answer(kSender, kController, record));
  EXPECT_FALSE(answer(kSender, kMonitor, {1, 4, 0, 0})) << "instance 4";
  EXPECT_FALSE(answer(kSender, kMonitor, {5, 0, 0, 0, 1, 0, 9, 0, 1})) << "user event data cut";
  EXPECT_THROW(cluster_.transmit(device_, kSender, FlexRayFrame{1, 0, 0, {}}), std::invalid_argument);
  EXPECT_THROW(cluster_.transmit(device_, kSender, FlexRayFrame{1, 0, kFlexRayChannelA, {1}}), std::invalid_argument);
  EXPECT_THROW(cluster_.transmit(device_, 7, FlexRayFrame{1, 0, kFlexRayChannelA, {}}), std::invalid_argument);
}

// Entries are visited only whole: a length below the head (zero included) or past the data ends the walk.
TEST(FlexRayEntries, AWalkVisitsWholeEntriesOnly) {
  const Bytes good = RecordBytes().u16(13).u16(1).u64(5).u8(0xAA).zeros(3).u16(12).u16(16).u64(6);
  std::vector<uint16_t> kinds;
  const auto collect = [&](const FlexRayEntry& entry) { kinds.push_back(entry.kind); };
  EXPECT_TRUE(walkFlexRayEntries(good, collect));
  EXPECT_EQ(kinds, (std::vector<uint16_t>{1, 16}));
  const Bytes broken[] = {
      RecordBytes().u16(0).u16(1).u64(5),                  // zero length
      RecordBytes().u16(11).u16(1).u64(5),                 // shorter than its head
      RecordBytes().u16(12).u16(1).u64(5).u16(40).u16(2),  // the second runs past the data
      RecordBytes().u16(12).u16(1).u32(5),                 // a cut head
  };
  for (const Bytes& data : broken) {
    kinds.clear();
    EXPECT_FALSE(walkFlexRayEntries(data, collect));
    EXPECT_LE(kinds.size(), 1u);
  }
}

}  // namespace
