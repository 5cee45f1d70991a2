// One XCP command on the whole road: sent to the emulated firmware's channel, answered by its slave, collected poll
// by poll; and every way the answer can go wrong, with the state and code the caller gets.
#include <gtest/gtest.h>

#include <chrono>
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
using Clock = std::chrono::steady_clock;

constexpr uint8_t kChannel = 1;
constexpr uint8_t kUpload = 0xF5;
constexpr uint32_t kTimeoutUs = 100000;

std::string lastText() { return Qor_GetLastErrorDescription(); }

std::unique_ptr<Qor_Common_Xcp_Request_t> command(Bytes packet, uint32_t timeoutUs = kTimeoutUs) {
  auto request = std::make_unique<Qor_Common_Xcp_Request_t>();
  request->timeoutUs = timeoutUs;
  request->kind = 2;
  request->length = static_cast<uint16_t>(packet.size());
  std::copy(packet.begin(), packet.end(), request->packet);
  return request;
}

Bytes packetOf(const Qor_Common_Xcp_Response_t& response) {
  return Bytes(response.packet, response.packet + std::min<uint32_t>(response.length, QOR_COMMON_XCP_MAX_PACKET));
}

Bytes counting(size_t size) {
  Bytes bytes(size);
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<uint8_t>(index * 7);
  return bytes;
}

class XcpCommand : public test::InterfaceFixture {
 protected:
  void SetUp() override {
    InterfaceFixture::SetUp();
    firmware_ = XcpFirmware::attachTo(*device_);
    slave_ = std::make_shared<BasicXcpSlave>(emulator::XcpSlaveSettings{.maxCto = 8, .maxDto = 0x0100});
    firmware_->plugSlave(kChannel, slave_);
    port_ = open();
  }

  uint32_t exchange(const Qor_Common_Xcp_Request_t& request) {
    return Qor_Common_Xcp_CommandWithResponse(port_, kChannel, &request, response_.get());
  }

  std::shared_ptr<XcpFirmware> firmware_;
  std::shared_ptr<BasicXcpSlave> slave_;
  uint32_t port_ = QOR_NO_PORT;
  std::unique_ptr<Qor_Common_Xcp_Response_t> response_ = std::make_unique<Qor_Common_Xcp_Response_t>();
};

TEST_F(XcpCommand, ConnectGoesToTheSlaveAndItsAnswerComesBack) {
  ASSERT_EQ(exchange(*command({0xFF, 0x00}, 123456)), 0u) << lastText();
  EXPECT_EQ(response_->state, uint32_t{QOR_COMMON_XCP_ANSWER_RECEIVED});
  EXPECT_EQ(response_->firmwareError, 0u);
  EXPECT_EQ(packetOf(*response_), (Bytes{0xFF, 0x05, 0x00, 8, 0x00, 0x01, 1, 1}));

  const std::vector<XcpFirmware::SentCommand> sent = firmware_->sentCommands(kChannel);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].timeoutUs, 123456u);
  EXPECT_EQ(sent[0].kind, 2);
  EXPECT_EQ(sent[0].packet, (Bytes{0xFF, 0x00}));

  ASSERT_EQ(exchange(*command({0xFD})), 0u) << lastText();
  EXPECT_EQ(packetOf(*response_), (Bytes{0xFF, 0, 0, 0, 0, 0}));
}

TEST_F(XcpCommand, ALongAnswerIsGatheredFromSeveralPolls) {
  const Bytes upload = counting(2500);
  slave_->on(kUpload, [&](std::span<const uint8_t>) { return std::vector<Bytes>{upload}; });
  firmware_->setPollPartBytes(kChannel, 1000);
  firmware_->setPendingPolls(kChannel, 2);
  ASSERT_EQ(exchange(*command({kUpload, 0xFF})), 0u) << lastText();
  EXPECT_EQ(response_->length, 2500u);
  EXPECT_EQ(packetOf(*response_), upload);
  EXPECT_EQ(firmware_->requests(kChannel, 3), 2u + 3u) << "two pending polls, then 1000 + 1000 + 500 bytes";
}

TEST_F(XcpCommand, AnAnswerLongerThanAPacketIsRefused) {
  slave_->on(kUpload, [](std::span<const uint8_t>) { return std::vector<Bytes>{counting(4500)}; });
  firmware_->setPollPartBytes(kChannel, 3000);
  EXPECT_EQ(exchange(*command({kUpload, 0xFF})), 0x02010006u);
  EXPECT_EQ(lastText(), "0x02010006 - COMMON - response buffer undersized - too many data bytes in response frame");
}

TEST_F(XcpCommand, PacketsUpToTheLimitAreSentLongerOnesAndFlagsAreNot) {
  // The record {header, u32, u8, u8, u16} and the packet must fit the port's parameter length (4084 here).
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  const Bytes longest = counting(std::min<size_t>(QOR_COMMON_XCP_MAX_PACKET, parameterLength - 12));
  ASSERT_EQ(exchange(*command(longest)), 0x02010202u) << "the slave does not know the command";
  ASSERT_EQ(firmware_->sentCommands(kChannel).size(), 1u);
  EXPECT_EQ(firmware_->sentCommands(kChannel)[0].packet, longest);
  if (parameterLength - 12 < QOR_COMMON_XCP_MAX_PACKET) {
    EXPECT_EQ(exchange(*command(counting(QOR_COMMON_XCP_MAX_PACKET))), QOR_ERR_API_INVALID_COMMAND_LENGTH)
        << "the core refuses what the port cannot carry";
  }

  auto tooLong = command({0xFF, 0});
  tooLong->length = QOR_COMMON_XCP_MAX_PACKET + 1;
  EXPECT_EQ(exchange(*tooLong), 0x02010007u);
  EXPECT_EQ(lastText(), "0x02010007 - COMMON - invalid parameter - maximum data length is 4096");
  auto flagged = command({0xFF, 0});
  flagged->flags = 1;
  EXPECT_EQ(exchange(*flagged), 0x02010004u);
  EXPECT_EQ(Qor_Common_Xcp_CommandWithResponse(port_, kChannel, nullptr, response_.get()), 0x02010007u);
  EXPECT_EQ(Qor_Common_Xcp_CommandWithResponse(port_, kChannel, flagged.get(), nullptr), 0x02010007u);
  EXPECT_EQ(firmware_->sentCommands(kChannel).size(), 1u) << "refusals send nothing";
}

TEST_F(XcpCommand, AnErrorPacketOfTheSlaveGivesItsCodeAndText) {
  slave_->failNext(0x25);
  EXPECT_EQ(exchange(*command({0xF8, 0, 1})), 0x02010202u);
  EXPECT_EQ(lastText(),
            "0x02010202 - COMMON - xcp error - the slave returned error code 0x25 - Access denied, Seed & Key is "
            "required");
  EXPECT_EQ(response_->state, uint32_t{QOR_COMMON_XCP_ANSWER_RECEIVED});
  EXPECT_EQ(packetOf(*response_), (Bytes{0xFE, 0x25}));

  slave_->answerNext({{0xFE}});
  EXPECT_EQ(exchange(*command({0xF8, 0, 1})), 0x02010202u) << "an error packet without its code";
  EXPECT_EQ(lastText(), "0x02010202 - COMMON - xcp error - the slave returned an error packet without error code");
}

TEST_F(XcpCommand, ASilentSlaveEndsWithTheFirmwaresTimeOut) {
  slave_->answerNext({});
  const auto start = Clock::now();
  EXPECT_EQ(exchange(*command({0xFF, 0}, 20000)), 0x02010201u);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(lastText(), "0x02010201 - COMMON - daq not initialized - no valid response from slave device");
  EXPECT_EQ(response_->state, uint32_t{QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE});
  EXPECT_EQ(response_->length, 0u);
}

TEST_F(XcpCommand, AFirmwareThatStaysPendingIsGivenUp) {
  firmware_->keepPending(kChannel, true);
  const auto start = Clock::now();
  EXPECT_EQ(exchange(*command({0xFF, 0}, 10000)), 0x02010203u);
  const auto elapsed = Clock::now() - start;
  // The request's 10 ms and twice the port's response time-out of 500 ms.
  EXPECT_GE(elapsed, std::chrono::milliseconds(1010));
  EXPECT_LT(elapsed, std::chrono::milliseconds(5000));
  EXPECT_EQ(lastText(),
            "0x02010203 - COMMON - xcp response timeout - the firmware still reports the command pending after "
            "1010 ms");
  EXPECT_EQ(response_->state, uint32_t{QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE});
}

// The firmware's poll answers as a table: what the caller gets for each status.
using XcpPollAnswers = test::InterfaceFixture;

Bytes pollAnswer(uint8_t status, uint32_t firmwareCode, uint16_t dataLength, uint16_t more, Bytes data) {
  Bytes answer = {3, kChannel, 0, 0, status, 0, 0, 0};
  for (int shift = 0; shift < 32; shift += 8) answer.push_back(static_cast<uint8_t>(firmwareCode >> shift));
  answer.insert(answer.end(), {static_cast<uint8_t>(dataLength), static_cast<uint8_t>(dataLength >> 8),
                               static_cast<uint8_t>(more), static_cast<uint8_t>(more >> 8)});
  answer.insert(answer.end(), data.begin(), data.end());
  return answer;
}

TEST_F(XcpPollAnswers, EachStatusGivesItsStateAndCode) {
  struct Case {
    const char* name;
    Bytes poll;
    uint32_t code;
    uint32_t state;  // 0xFF: not stored
    std::string text;
  };
  const Case cases[] = {
      {"answer", pollAnswer(2, 0, 2, 0, {0xFF, 0x01}), 0, QOR_COMMON_XCP_ANSWER_RECEIVED, ""},
      {"valid, yet no answer of the slave", pollAnswer(6, 0x55, 0, 0, {}), 0x02010203,
       QOR_COMMON_XCP_VALID_WITHOUT_ANSWER,
       "0x02010203 - COMMON - xcp response timeout - no response from slave device"},
      {"no valid answer", pollAnswer(0, 0, 0, 0, {}), 0x02010201, QOR_COMMON_XCP_NO_VALID_ANSWER,
       "0x02010201 - COMMON - daq not initialized - no valid response from slave device"},
      {"no answer of the slave", pollAnswer(4, 0, 0, 0, {}), 0x02010201, QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE,
       "0x02010201 - COMMON - daq not initialized - no valid response from slave device"},
      {"firmware error", pollAnswer(2, 0x1234, 0, 0, {}), 0x1234, QOR_COMMON_XCP_ANSWER_RECEIVED, "slave link lost"},
      {"data length beyond the answer", pollAnswer(2, 0, 9, 0, {1, 2, 3}), 0x02010003, 0xFF,
       "0x02010003 - COMMON - invalid response length - poll answer holds 3 of its 9 data bytes"},
      {"poll answer without its head", Bytes{3, kChannel, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}, 0x02010003, 0xFF,
       "0x02010003 - COMMON - invalid response length - response of 13 bytes is too short"},
  };
  device_->setErrorText(0x1234, "slave link lost");
  const Bytes send = {2, kChannel, 0, 0, 0xA0, 0x86, 0x01, 0, 0, 2, 1, 0, 0xFD};
  for (const Case& c : cases) {
    device_->expect(kXcpCommand, send).answer({2, kChannel, 0, 0});
    device_->expect(kXcpCommand, {3, kChannel, 0, 0}).answer(c.poll);
  }
  const uint32_t port = open();
  for (const Case& c : cases) {
    auto response = std::make_unique<Qor_Common_Xcp_Response_t>();
    response->state = 0xFF;
    EXPECT_EQ(Qor_Common_Xcp_CommandWithResponse(port, kChannel, command({0xFD}).get(), response.get()), c.code)
        << c.name;
    EXPECT_EQ(response->state, c.state) << c.name;
    if (c.code != 0) {
      EXPECT_NE(lastText().find(c.text), std::string::npos) << c.name << ": " << lastText();
    }
    const uint32_t firmwareCode = c.poll[8] | c.poll[9] << 8 | c.poll[10] << 16 | uint32_t{c.poll[11]} << 24;
    if (c.state != 0xFF) {
      EXPECT_EQ(response->firmwareError, firmwareCode) << c.name;
    }
  }
}

}  // namespace
}  // namespace qor::common
