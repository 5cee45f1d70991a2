// The channel's four packet FIFOs on the whole road: frames as the emulated firmware keeps them, read into records
// or one packed buffer, written in as few requests as the port allows; frames with lengths that cannot be right are
// refused, never copied.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_common_xcp.h"
#include "qor_emulator/xcp_firmware.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::common {
namespace {

using emulator::BasicXcpSlave;
using emulator::Bytes;
using emulator::kXcpCommand;
using emulator::XcpFirmware;

constexpr uint8_t kChannel = 2;
constexpr uint32_t kBufferUndersized = 0x02010006;
constexpr uint32_t kInvalidConfiguration = 0x02010107;
constexpr uint8_t kDtoWriteSub = 9;

std::string lastText() { return Qor_GetLastErrorDescription(); }

template <class Record>
Bytes dataOf(const Record& record) {
  return Bytes(record.data, record.data + record.length);
}

class XcpFifos : public test::InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = XcpFirmware::attachTo(*device_);
    slave_ = std::make_shared<BasicXcpSlave>();
    firmware_->plugSlave(kChannel, slave_);
    port_ = open();
  }

  void timeStamps(uint32_t on) {
    const Qor_Common_Xcp_Property_t property{QOR_COMMON_XCP_PROPERTY_DTO_TIME_STAMPS, 0, on};
    ASSERT_EQ(Qor_Common_Xcp_Property_SetById(port_, kChannel, &property), 0u) << lastText();
  }

  std::shared_ptr<XcpFirmware> firmware_;
  std::shared_ptr<BasicXcpSlave> slave_;
  uint32_t port_ = QOR_NO_PORT;
};

TEST_F(XcpFifos, DtoFramesAreReadOneRecordEach) {
  firmware_->receiveData(kChannel, {0x00, 1, 2, 3});
  firmware_->receiveData(kChannel, {0x01}, 0x03);
  firmware_->receiveData(kChannel, {});
  std::vector<Qor_Common_Xcp_DtoFrame_t> frames(4);
  uint32_t count = 4;
  ASSERT_EQ(Qor_Common_Xcp_ReadDtoRxFifo(port_, kChannel, &count, frames.data()), 0u) << lastText();
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(dataOf(frames[0]), (Bytes{0x00, 1, 2, 3}));
  EXPECT_EQ(frames[0].flag, 0);
  EXPECT_EQ(dataOf(frames[1]), (Bytes{0x01}));
  EXPECT_EQ(frames[1].flag, 1) << "bit 0 of the frame's flags only";
  EXPECT_EQ(frames[2].length, 0);

  count = 4;
  ASSERT_EQ(Qor_Common_Xcp_ReadDtoRxFifo(port_, kChannel, &count, frames.data()), 0u) << lastText();
  EXPECT_EQ(count, 0u) << "an empty FIFO";
}

TEST_F(XcpFifos, RecordsUsedUpWithFramesLeft) {
  for (uint8_t pid = 0; pid < 3; ++pid) firmware_->receiveData(kChannel, {pid, 0xAA});
  std::vector<Qor_Common_Xcp_DtoFrame_t> frames(2);
  uint32_t count = 2;
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo(port_, kChannel, &count, frames.data()), kBufferUndersized);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - more frames are available");
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(dataOf(frames[1]), (Bytes{1, 0xAA}));
}

TEST_F(XcpFifos, TimeStampedFramesNeedTheirOwnRead) {
  timeStamps(1);
  firmware_->receiveData(kChannel, {0x10, 0x11}, 0, 0x0102030405060708);
  firmware_->receiveData(kChannel, {0x12}, 1, 42);
  std::vector<Qor_Common_Xcp_DtoFrameTs_t> stamped(2);
  uint32_t count = 2;
  ASSERT_EQ(Qor_Common_Xcp_ReadDtoRxFifoTs(port_, kChannel, &count, stamped.data()), 0u) << lastText();
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(stamped[0].timeStamp, 0x0102030405060708u);
  EXPECT_EQ(dataOf(stamped[0]), (Bytes{0x10, 0x11}));
  EXPECT_EQ(stamped[1].timeStamp, 42u);
  EXPECT_EQ(stamped[1].flag, 1);

  // A plain read that meets a time-stamped second frame keeps the first.
  timeStamps(0);
  firmware_->receiveData(kChannel, {0x20});
  timeStamps(1);
  firmware_->receiveData(kChannel, {0x21});
  std::vector<Qor_Common_Xcp_DtoFrame_t> plain(4);
  count = 4;
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo(port_, kChannel, &count, plain.data()), kInvalidConfiguration);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(dataOf(plain[0]), (Bytes{0x20}));
  EXPECT_EQ(lastText(),
            "0x02010107 - COMMON - invalid configuration - received a frame with timestamp data - you need to "
            "deactivate timestamp data to use this function");

  timeStamps(0);
  firmware_->receiveData(kChannel, {0x30});
  count = 2;
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifoTs(port_, kChannel, &count, stamped.data()), kInvalidConfiguration);
  EXPECT_EQ(count, 0u);
  EXPECT_NE(lastText().find("received a frame without timestamp data"), std::string::npos);
}

TEST_F(XcpFifos, PackedReadsLayTheDataSideBySide) {
  firmware_->receiveData(kChannel, {1, 2, 3});
  firmware_->receiveData(kChannel, {4, 5}, 1);
  uint8_t buffer[8] = {};
  Qor_Common_Xcp_FrameInfo_t infos[3] = {};
  uint32_t count = 3;
  ASSERT_EQ(Qor_Common_Xcp_ReadDtoRxFifo2(port_, kChannel, 0, sizeof buffer, buffer, &count, infos), 0u)
      << lastText();
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(Bytes(buffer, buffer + 5), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(infos[1].offset, 3u);
  EXPECT_EQ(infos[1].length, 2);
  EXPECT_EQ(infos[1].flag, 1);

  timeStamps(1);
  firmware_->receiveData(kChannel, {6, 7}, 0, 1000);
  firmware_->receiveData(kChannel, {8, 9, 10}, 0, 2000);
  Qor_Common_Xcp_FrameInfoTs_t stamped[2] = {};
  count = 2;
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo2Ts(port_, kChannel, 0, 4, buffer, &count, stamped), kBufferUndersized);
  EXPECT_EQ(lastText(),
            "0x02010006 - COMMON - response buffer undersized - buffer for frame data ('buffer') is too small");
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(stamped[0].timeStamp, 1000u);

  firmware_->receiveData(kChannel, {11}, 0, 3000);
  firmware_->receiveData(kChannel, {12}, 0, 4000);
  count = 1;
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo2Ts(port_, kChannel, 0, sizeof buffer, buffer, &count, stamped),
            kBufferUndersized);
  EXPECT_EQ(lastText(),
            "0x02010006 - COMMON - response buffer undersized - buffer for frame info ('frames') is too small");
  EXPECT_EQ(count, 1u);

  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo2(port_, kChannel, 1, sizeof buffer, buffer, &count, infos), 0x02010004u);
  EXPECT_EQ(Qor_Common_Xcp_ReadDtoRxFifo2(port_, kChannel, 0, sizeof buffer, nullptr, &count, infos), 0x02010007u);
}

TEST_F(XcpFifos, CtoFramesOfTheSlaveAreReadBack) {
  const Bytes longest(QOR_COMMON_XCP_MAX_CTO_DATA, 0x5A);
  firmware_->receiveCommandPacket(kChannel, {0xFD, 0x01});
  firmware_->receiveCommandPacket(kChannel, longest);
  std::vector<Qor_Common_Xcp_CtoFrame_t> frames(3);
  uint32_t count = 3;
  ASSERT_EQ(Qor_Common_Xcp_ReadCtoRxFifo(port_, kChannel, &count, frames.data()), 0u) << lastText();
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(dataOf(frames[0]), (Bytes{0xFD, 0x01}));
  EXPECT_EQ(dataOf(frames[1]), longest) << "256 data bytes fit a record";
}

// FIFO answers the emulated firmware would never give, from the request table.
using XcpFifoAnswers = test::InterfaceFixture;

TEST_F(XcpFifoAnswers, FramesThatCannotBeRightAreRefused) {
  struct Case {
    const char* name;
    uint8_t subFunction;
    Bytes frames;
    uint32_t code;
    uint32_t count;
    std::string text;
  };
  const std::string badLength = "0x02010003 - COMMON - invalid response length - the length of frame ";
  const Bytes good = {5, 0, 0, 0, 0xAB};
  Bytes cto257 = {0x05, 0x01, 0, 0};  // 261 bytes: the header and 257 data bytes
  cto257.resize(261, 0x33);
  const Case cases[] = {
      {"length 0", 7, {0, 0, 0, 0}, 0x02010003, 0, badLength + "1 is invalid"},
      {"length below the header", 7, {3, 0, 0, 0, 1}, 0x02010003, 0, badLength + "1 is invalid"},
      {"length past the answer", 7, {0xFF, 0x7F, 0, 0, 1, 2}, 0x02010003, 0, badLength + "1 is invalid"},
      {"good, then past the answer", 7, {5, 0, 0, 0, 0xAB, 200, 0, 0, 0}, 0x02010003, 1, badLength + "2 is invalid"},
      {"time stamp without room", 7, {8, 0, 1, 0, 1, 2, 3, 4}, 0x02010003, 0, badLength + "1 is invalid"},
      {"unknown type", 7, {5, 0, 0, 0, 0xAB, 5, 0, 2, 0, 0xAB}, 0x02010009, 1,
       "0x02010009 - COMMON - invalid response parameter - the frame type of frame 2 is unknown"},
      {"time-stamped CTO", 8, {12, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x02010009, 0,
       "0x02010009 - COMMON - invalid response parameter - the frame type of frame 1 is unknown"},
      {"CTO of 257 bytes", 8, cto257, 0x02010003, 0,
       "0x02010003 - COMMON - invalid response length - the data length of frame 1 exceeds the maximum allowed "
       "length"},
  };
  for (const Case& c : cases) {
    Bytes answer = {c.subFunction, kChannel, 0, 0};
    answer.insert(answer.end(), c.frames.begin(), c.frames.end());
    device_->expect(kXcpCommand, {c.subFunction, kChannel, 0, 0}).answer(answer);
  }
  const uint32_t port = open();
  for (const Case& c : cases) {
    std::vector<Qor_Common_Xcp_DtoFrame_t> dto(4);
    std::vector<Qor_Common_Xcp_CtoFrame_t> cto(4);
    uint32_t count = 4;
    const uint32_t code = c.subFunction == 7 ? Qor_Common_Xcp_ReadDtoRxFifo(port, kChannel, &count, dto.data())
                                             : Qor_Common_Xcp_ReadCtoRxFifo(port, kChannel, &count, cto.data());
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_EQ(count, c.count) << c.name;
    EXPECT_EQ(lastText(), c.text) << c.name;
  }
}

std::vector<Qor_Common_Xcp_TxCtoFrame_t> ctoFrames(std::initializer_list<Bytes> packets) {
  std::vector<Qor_Common_Xcp_TxCtoFrame_t> frames;
  for (const Bytes& packet : packets) {
    Qor_Common_Xcp_TxCtoFrame_t frame{};
    frame.length = static_cast<uint16_t>(packet.size());
    std::copy(packet.begin(), packet.end(), frame.data);
    frames.push_back(frame);
  }
  return frames;
}

TEST_F(XcpFifos, CtoFramesWrittenReachTheSlaveAndItsAnswersComeBack) {
  const std::vector<Qor_Common_Xcp_TxCtoFrame_t> frames = ctoFrames({{0xFF, 0x00}, {0xFD}, Bytes(255, 0xC1)});
  ASSERT_EQ(Qor_Common_Xcp_WriteCtoTxFifo(port_, kChannel, 3, frames.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->transmittedCommands(kChannel), (std::vector<Bytes>{{0xFF, 0x00}, {0xFD}, Bytes(255, 0xC1)}));
  EXPECT_EQ(firmware_->requests(kChannel, 10), 1u) << "packed into one request";

  Qor_Common_Xcp_State_t state{};
  ASSERT_EQ(Qor_Common_Xcp_GetState(port_, kChannel, &state), 0u) << lastText();
  EXPECT_EQ(state.flags & 2, 2u) << "answers wait in the CTO receive FIFO";
  std::vector<Qor_Common_Xcp_CtoFrame_t> answers(4);
  uint32_t count = 4;
  ASSERT_EQ(Qor_Common_Xcp_ReadCtoRxFifo(port_, kChannel, &count, answers.data()), 0u) << lastText();
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(answers[0].data[0], 0xFF) << "CONNECT answered";
  EXPECT_EQ(dataOf(answers[2]), (Bytes{0xFE, 0x20})) << "an unknown command";
}

TEST_F(XcpFifos, BadFramesToWriteAreRefusedBeforeAnyIsSent) {
  std::vector<Qor_Common_Xcp_TxCtoFrame_t> frames = ctoFrames({{0xFD}, Bytes(256, 0)});
  EXPECT_EQ(Qor_Common_Xcp_WriteCtoTxFifo(port_, kChannel, 2, frames.data()), 0x02010002u);
  EXPECT_EQ(lastText(),
            "0x02010002 - COMMON - invalid data length - data length of frame with index 1 exceeds maximum data "
            "length (255 bytes)");
  frames[1].length = 1;
  frames[1].reserved2 = 1;
  EXPECT_EQ(Qor_Common_Xcp_WriteCtoTxFifo(port_, kChannel, 2, frames.data()), 0x02010007u);
  EXPECT_EQ(lastText(),
            "0x02010007 - COMMON - invalid parameter - reserved bytes of frame with index 1 are not zero");
  EXPECT_EQ(Qor_Common_Xcp_WriteCtoTxFifo(port_, kChannel, 0, nullptr), 0u) << "nothing to send";
  EXPECT_EQ(Qor_Common_Xcp_WriteCtoTxFifo(port_, kChannel, 1, nullptr), 0x02010007u);
  EXPECT_EQ(firmware_->requests(kChannel, 10), 0u);
  EXPECT_TRUE(slave_->commands().empty());
}

TEST_F(XcpFifos, DtoFramesFillRequestsUpToTheParameterLength) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  const uint32_t largest = parameterLength - 8;
  std::vector<Qor_Common_Xcp_TxDtoFrame_t> frames(3);
  for (uint8_t index = 0; index < 3; ++index) {
    frames[index].length = static_cast<uint16_t>(largest);
    std::fill_n(frames[index].data, largest, index);
  }
  ASSERT_EQ(Qor_Common_Xcp_WriteDtoTxFifo(port_, kChannel, 3, frames.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->requests(kChannel, kDtoWriteSub), 3u) << "one largest frame per request";
  const std::vector<Bytes> sent = firmware_->transmittedData(kChannel);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2], Bytes(largest, 2));

  frames[1].length = static_cast<uint16_t>(largest + 1);
  EXPECT_EQ(Qor_Common_Xcp_WriteDtoTxFifo(port_, kChannel, 3, frames.data()), 0x02010002u);
  EXPECT_EQ(lastText(), "0x02010002 - COMMON - invalid data length - data length of frame with index 1 exceeds "
                        "maximum data length of " + std::to_string(largest) + " bytes");
  frames[1].length = 0xFFFF;  // a 16-bit frame length would wrap
  EXPECT_EQ(Qor_Common_Xcp_WriteDtoTxFifo(port_, kChannel, 3, frames.data()), 0x02010002u);
  EXPECT_EQ(firmware_->requests(kChannel, kDtoWriteSub), 3u);

  std::vector<Qor_Common_Xcp_TxDtoFrame_t> small(10);
  for (auto& frame : small) frame.length = 100;
  ASSERT_EQ(Qor_Common_Xcp_WriteDtoTxFifo(port_, kChannel, 10, small.data()), 0u) << lastText();
  EXPECT_EQ(firmware_->requests(kChannel, kDtoWriteSub), 4u) << "ten small frames in one request";
  EXPECT_EQ(firmware_->transmittedData(kChannel).size(), 13u);
}

}  // namespace
}  // namespace qor::common
