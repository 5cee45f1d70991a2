// The emulated XCP channels without a transport: poll parts, time-outs, FIFO frames and the slave's outlet, as the
// XCP master of the library and the later full slave rely on them.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "collecting_sink.hpp"
#include "qor_emulator/device.hpp"
#include "qor_emulator/xcp_firmware.hpp"

namespace {

using namespace qor::emulator;

constexpr uint8_t kChannel = 4;

class XcpChannel : public testing::Test {
 protected:
  // The answer's data (after the frame header), or empty for a negative acknowledge or silence.
  std::optional<Bytes> ask(Bytes parameters) {
    Bytes frame = {'#', 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, kXcpCommand};
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame[2] = static_cast<uint8_t>(frame.size());
    frame[3] = static_cast<uint8_t>(frame.size() >> 8);
    auto sink = std::make_shared<CollectingSink>(1);
    EXPECT_TRUE(device_.receive(frame, sink));
    if (sink->sent.size() != 1 || sink->sent[0][8] != 1) return std::nullopt;
    return Bytes(sink->sent[0].begin() + 12, sink->sent[0].end());
  }
  Bytes poll() { return ask({3, kChannel, 0, 0}).value_or(Bytes{}); }
  void send(Bytes packet, uint32_t timeoutUs = 100000) {
    Bytes request = {2, kChannel, 0, 0};
    for (int shift = 0; shift < 32; shift += 8) request.push_back(static_cast<uint8_t>(timeoutUs >> shift));
    request.insert(request.end(), {0, 2, static_cast<uint8_t>(packet.size()), 0});
    request.insert(request.end(), packet.begin(), packet.end());
    ASSERT_EQ(ask(request), (Bytes{2, kChannel, 0, 0}));
  }

  Device device_{DeviceConfig{.serialNumber = 1, .hostType = 58}};
  std::shared_ptr<XcpFirmware> firmware_ = XcpFirmware::attachTo(device_);
  std::shared_ptr<BasicXcpSlave> slave_ = std::make_shared<BasicXcpSlave>();
};

// {status, d, more, data...} of a poll answer.
Bytes partOf(const Bytes& answer) {
  if (answer.size() < 16) return {};
  Bytes part = {answer[4], answer[12], answer[14]};
  part.insert(part.end(), answer.begin() + 16, answer.end());
  return part;
}

TEST_F(XcpChannel, AnAnswerComesAfterThePendingPollsInParts) {
  firmware_->plugSlave(kChannel, slave_);
  slave_->answerNext({{0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9}});
  firmware_->setPollPartBytes(kChannel, 4);
  firmware_->setPendingPolls(kChannel, 1);
  send({0xF5, 9});
  EXPECT_EQ(partOf(poll()), (Bytes{1, 0, 0}));
  EXPECT_EQ(partOf(poll()), (Bytes{2, 4, 1, 0xFF, 1, 2, 3}));
  EXPECT_EQ(partOf(poll()), (Bytes{2, 4, 1, 4, 5, 6, 7}));
  EXPECT_EQ(partOf(poll()), (Bytes{2, 2, 0, 8, 9}));
  EXPECT_EQ(partOf(poll()), (Bytes{0, 0, 0})) << "no command any more";
  EXPECT_EQ(slave_->commands(), (std::vector<Bytes>{{0xF5, 9}}));
}

TEST_F(XcpChannel, ASilentSlaveIsReportedAfterTheRequestsTimeOut) {
  firmware_->plugSlave(kChannel, slave_);
  slave_->answerNext({});
  send({0xFF, 0}, 0);
  EXPECT_EQ(partOf(poll()), (Bytes{4, 0, 0}));
  send({0xFF, 0}, 60'000'000);
  EXPECT_EQ(partOf(poll()), (Bytes{2, 8, 0, 0xFF, 0x05, 0, 8, 8, 0, 1, 1})) << "CONNECT answered";
}

TEST_F(XcpChannel, FurtherAnswerPacketsAndFifoCommandsFillTheCtoReceiveFifo) {
  firmware_->plugSlave(kChannel, slave_);
  slave_->answerNext({{0xFF, 1}, {0xFF, 2}});
  send({0xF5, 2});
  // Written CTO frames: {u16 length, type 0, flags 0, packet}.
  ASSERT_TRUE(ask({10, kChannel, 0, 0, 5, 0, 0, 0, 0xFD}));
  EXPECT_EQ(ask({4, kChannel, 0, 0}), (Bytes{4, kChannel, 0, 0, 0x02, 0, 0, 0, 2, 0, 0, 0}))
      << "CTO frames wait, an answer is ready";
  EXPECT_EQ(ask({8, kChannel, 0, 0}), (Bytes{8, kChannel, 0, 0, 6, 0, 0, 0, 0xFF, 2, 10, 0, 0, 0, 0xFF, 0, 0, 0, 0,
                                              0}));
  EXPECT_FALSE(ask({10, kChannel, 0, 0, 9, 0, 0, 0, 0xFD})) << "a frame longer than the request is refused";
  EXPECT_FALSE(ask({10, kChannel, 0, 0, 3, 0, 0, 0})) << "as is one shorter than its header";
}

TEST_F(XcpChannel, DtoFramesCarryTimeStampsWhilePropertyFourIsOn) {
  firmware_->receiveData(kChannel, {0x10}, 1);
  ASSERT_TRUE(ask({6, kChannel, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}));
  firmware_->receiveData(kChannel, {0x11}, 0, 0x0807060504030201);
  EXPECT_EQ(ask({7, kChannel, 0, 0}), (Bytes{7, kChannel, 0, 0, 5, 0, 0, 1, 0x10, 13, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8,
                                              0x11}));
  EXPECT_EQ(ask({5, kChannel, 0, 0, 4, 0, 0, 0}), (Bytes{5, kChannel, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_FALSE(ask({5, kChannel, 0, 0, 5, 0, 0, 0})) << "property 5 does not exist";
}

// A slave that sends on its own, as the DAQ slave will.
class TalkativeSlave : public XcpSlave {
 public:
  std::vector<Bytes> command(std::span<const uint8_t>) override { return {{0xFF}}; }
  void plugged(XcpSlaveOutlet* outlet) override { outlet_ = outlet; }
  XcpSlaveOutlet* outlet_ = nullptr;
};

TEST_F(XcpChannel, APluggedSlaveSendsDataThroughItsOutlet) {
  auto talkative = std::make_shared<TalkativeSlave>();
  firmware_->plugSlave(kChannel, talkative);
  ASSERT_NE(talkative->outlet_, nullptr);
  talkative->outlet_->sendData({0x00, 0xAB});
  EXPECT_EQ(ask({7, kChannel, 0, 0}), (Bytes{7, kChannel, 0, 0, 6, 0, 0, 0, 0x00, 0xAB}));
  firmware_->plugSlave(kChannel, slave_);
  EXPECT_EQ(talkative->outlet_, nullptr) << "unplugged";
}

TEST(BasicXcpSlave, AnswersFromItsSettingsInTheSlavesByteOrder) {
  BasicXcpSlave slave(XcpSlaveSettings{.commModeBasic = 0x01, .maxCto = 16, .maxDto = 0x0102,
                                       .sessionConfigurationId = 0x0A0B});
  const Bytes connect = {0xFF, 0x00};
  EXPECT_EQ(slave.command(connect), (std::vector<Bytes>{{0xFF, 0x05, 0x01, 16, 0x01, 0x02, 1, 1}}));
  const Bytes status = {0xFD};
  EXPECT_EQ(slave.command(status), (std::vector<Bytes>{{0xFF, 0, 0, 0, 0x0A, 0x0B}}));
  const Bytes unknown = {0xF5, 1};
  EXPECT_EQ(slave.command(unknown), (std::vector<Bytes>{{0xFE, 0x20}}));
  slave.on(0xF5, [](std::span<const uint8_t> packet) { return std::vector<Bytes>{{0xFF, packet[1]}}; });
  EXPECT_EQ(slave.command(unknown), (std::vector<Bytes>{{0xFF, 1}}));
  slave.failNext(0x29);
  EXPECT_EQ(slave.command(connect), (std::vector<Bytes>{{0xFE, 0x29}}));
}

}  // namespace
