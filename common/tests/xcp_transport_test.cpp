// Setting XCP channels up, resetting them, their state and properties: the records as the firmware gets them, byte
// for byte, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qor_api.h"
#include "qor_common_xcp.h"
#include "qor_emulator/xcp_firmware.hpp"
#include "qor_test/interface_fixture.hpp"

namespace qor::common {
namespace {

using emulator::Bytes;
using emulator::kXcpCommand;

constexpr uint8_t kChannel = 3;
constexpr uint32_t kUnknownFlag = 0x02010004;
constexpr uint32_t kInvalidParameter = 0x02010007;
constexpr uint32_t kInvalidResponseLength = 0x02010003;
constexpr uint32_t kInvalidResponseParameter = 0x02010009;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes zeros(size_t count) { return Bytes(count, 0); }

std::string lastText() { return Qor_GetLastErrorDescription(); }

class XcpChannelSetUp : public test::InterfaceFixture {
 protected:
  size_t xcpRequests() const {
    size_t count = 0;
    for (const auto& frame : device_->recorder().frames()) count += frame.command() == kXcpCommand ? 1 : 0;
    return count;
  }
  // The firmware's empty answer to a request of this sub-function.
  void expectRequest(Bytes parameters) {
    const Bytes header(parameters.begin(), parameters.begin() + 4);
    device_->expect(kXcpCommand, std::move(parameters)).answer(header);
  }
};

Qor_Common_Xcp_FlexRayTransport_t flexRayWithTwoPdus() {
  Qor_Common_Xcp_FlexRayTransport_t transport{};
  transport.flags = 1;
  transport.firstWord = 0x11223344;
  transport.byte = 0x55;
  transport.headerType = 8;
  transport.packetAlignment = 2;
  transport.pduCount = 2;
  transport.pdus[0].pduWord = 0xA1A2A3A4;
  transport.pdus[0].packetType = 0x1F;  // bit 3 is not the firmware's
  transport.pdus[0].pduFlag = 1;
  transport.pdus[1].pduWord = 0x01020304;
  transport.pdus[1].packetType = 0x02;
  transport.pdus[1].pduFlag = 0;
  transport.pdus[2].pduWord = 0xDEADBEEF;  // beyond the count: not sent
  return transport;
}

TEST_F(XcpChannelSetUp, TransportRecordsReachTheFirmwareByteExact) {
  const Qor_Common_Xcp_CanTransport_t can{1, 0x00000701, 0x00000702, 0x80000703};
  const Qor_Common_Xcp_FlexRayTransport_t flexRay = flexRayWithTwoPdus();
  const Qor_Common_Xcp_Udp4Transport_t udp4{0, 7, {192, 168, 1, 2}, {10, 0, 0, 1}, 5555, 0x1234, 0xCAFEF00D};
  const Qor_Common_Xcp_Tcp4Transport_t tcp4{1, 7, {192, 168, 1, 2}, {10, 0, 0, 1}, 5555, 0x1234, 9, 0x0BADC0DE};
  Qor_Common_Xcp_Udp6Transport_t udp6{};
  udp6.firstWord = 3;
  for (uint8_t index = 0; index < 16; ++index) {
    udp6.firstAddress[index] = index;
    udp6.secondAddress[index] = static_cast<uint8_t>(0xF0 + index);
  }
  udp6.firstPort = 0x0102;
  udp6.secondPort = 0x0304;
  udp6.secondWord = 0x05060708;
  Qor_Common_Xcp_Tcp6Transport_t tcp6{};
  std::copy(std::begin(udp6.firstAddress), std::end(udp6.firstAddress), tcp6.firstAddress);
  std::copy(std::begin(udp6.secondAddress), std::end(udp6.secondAddress), tcp6.secondAddress);
  tcp6.flags = 1;
  tcp6.tcpWord = 0x44332211;

  const Bytes head = {1, kChannel, 0, 0};
  const Bytes address6 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const Bytes secondAddress6 = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> init;
    Bytes record;
  };
  const Case cases[] = {
      {"CAN", [&](uint32_t port) { return Qor_Common_Xcp_Init_Can(port, kChannel, &can); },
       concat({head, {0, 0, 0, 0, 1, 0, 0, 0}, {0x01, 0x07, 0, 0, 0x02, 0x07, 0, 0, 0x03, 0x07, 0, 0x80}})},
      {"FlexRay with two PDUs", [&](uint32_t port) { return Qor_Common_Xcp_Init_FlexRay(port, kChannel, &flexRay); },
       concat({head, {1, 0, 0, 0, 1, 0, 0, 0}, {0x44, 0x33, 0x22, 0x11, 0x55, 8, 2, 2}, zeros(8),
               {0xA4, 0xA3, 0xA2, 0xA1, 0x17, 1}, zeros(10), {0x04, 0x03, 0x02, 0x01, 0x02, 0}, zeros(10)})},
      {"UDP IPv4", [&](uint32_t port) { return Qor_Common_Xcp_Init_Ethernet_Udp4(port, kChannel, &udp4); },
       concat({head, {2, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0}, {192, 168, 1, 2}, zeros(12), {10, 0, 0, 1}, zeros(12),
               {0xB3, 0x15, 0x34, 0x12}, {7, 0, 0, 0}, {0x0D, 0xF0, 0xFE, 0xCA}, zeros(4)})},
      {"TCP IPv4", [&](uint32_t port) { return Qor_Common_Xcp_Init_Ethernet_Tcp4(port, kChannel, &tcp4); },
       concat({head, {2, 0, 0, 0, 1, 0, 0, 0}, {2, 0, 0, 0}, {192, 168, 1, 2}, zeros(12), {10, 0, 0, 1}, zeros(12),
               {0xB3, 0x15, 0x34, 0x12}, {7, 0, 0, 0}, {9, 0, 0, 0}, {0xDE, 0xC0, 0xAD, 0x0B}})},
      {"UDP IPv6", [&](uint32_t port) { return Qor_Common_Xcp_Init_Ethernet_Udp6(port, kChannel, &udp6); },
       concat({head, {2, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0}, address6, secondAddress6, {2, 1, 4, 3}, {3, 0, 0, 0},
               {8, 7, 6, 5}, zeros(4)})},
      {"TCP IPv6", [&](uint32_t port) { return Qor_Common_Xcp_Init_Ethernet_Tcp6(port, kChannel, &tcp6); },
       concat({head, {2, 0, 0, 0, 1, 0, 0, 0}, {3, 0, 0, 0}, address6, secondAddress6, zeros(4), zeros(8),
               {0x11, 0x22, 0x33, 0x44}})},
  };
  for (const Case& c : cases) expectRequest(c.record);
  const uint32_t port = open();
  for (const Case& c : cases) EXPECT_EQ(c.init(port), 0u) << c.name << ": " << lastText();
}

TEST_F(XcpChannelSetUp, BadTransportRecordsAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* name;
    std::function<void(Qor_Common_Xcp_FlexRayTransport_t&)> spoil;
    uint32_t code;
    std::string text;
  };
  const std::string invalid = "0x02010007 - COMMON - invalid parameter - ";
  const Case cases[] = {
      {"flags", [](auto& t) { t.flags = 2; }, kUnknownFlag, "0x02010004 - COMMON - unknown flag"},
      {"reserved word", [](auto& t) { t.reserved16 = 1; }, kInvalidParameter,
       invalid + "reserved bytes have to be zero"},
      {"header type", [](auto& t) { t.headerType = 9; }, kInvalidParameter, invalid + "header type is unknown"},
      {"alignment", [](auto& t) { t.packetAlignment = 3; }, kInvalidParameter, invalid + "packet alignment is unknown"},
      {"PDU count", [](auto& t) { t.pduCount = 251; }, kInvalidParameter, invalid + "maximum number of pdus is 250"},
      {"PDU reserved", [](auto& t) { t.pdus[1].reserved12 = 1; }, kInvalidParameter,
       invalid + "reserved bytes have to be zero in pdu 1"},
      {"PDU packet type", [](auto& t) { t.pdus[1].packetType = 0x20; }, kInvalidParameter,
       invalid + "unknown packet type in pdu 1"},
      {"PDU flag", [](auto& t) { t.pdus[0].pduFlag = 2; }, kUnknownFlag,
       "0x02010004 - COMMON - unknown flag - unknown pdu flag in pdu 0"},
  };
  const uint32_t port = open();
  for (const Case& c : cases) {
    Qor_Common_Xcp_FlexRayTransport_t transport = flexRayWithTwoPdus();
    c.spoil(transport);
    EXPECT_EQ(Qor_Common_Xcp_Init_FlexRay(port, kChannel, &transport), c.code) << c.name;
    EXPECT_EQ(lastText(), c.text) << c.name;
  }
  const Qor_Common_Xcp_CanTransport_t can{3, 0, 0, 0};
  EXPECT_EQ(Qor_Common_Xcp_Init_Can(port, kChannel, &can), kUnknownFlag);
  Qor_Common_Xcp_Tcp6Transport_t tcp6{};
  tcp6.flags = 0x80000000;
  EXPECT_EQ(Qor_Common_Xcp_Init_Ethernet_Tcp6(port, kChannel, &tcp6), kUnknownFlag);
  EXPECT_EQ(Qor_Common_Xcp_Init_Ethernet_Udp4(port, kChannel, nullptr), kInvalidParameter);
  EXPECT_EQ(lastText(), invalid + "'transport' is NULL");
  EXPECT_EQ(Qor_Common_Xcp_Init_Can(7, kChannel, &can), QOR_ERR_API_INVALID_PORT_HANDLE);
  EXPECT_EQ(xcpRequests(), 0u);
}

TEST_F(XcpChannelSetUp, ResetAndStateAsTheFirmwareTellsThem) {
  expectRequest({0, kChannel, 0, 0});
  device_->expect(kXcpCommand, {4, kChannel, 0, 0}).answer({4, kChannel, 0, 0, 0xFF, 0, 0, 0, 2, 0, 0, 0});
  device_->expect(kXcpCommand, {4, kChannel, 0, 0}).answer({4, kChannel, 0, 0, 0x0A, 0, 0, 0, 3, 0, 0, 0});
  device_->expect(kXcpCommand, {4, kChannel, 0, 0}).answer({4, kChannel, 0, 0, 0x0A, 0, 0, 0, 1, 0, 0});
  const uint32_t port = open();
  EXPECT_EQ(Qor_Common_Xcp_Reset(port, kChannel), 0u) << lastText();

  Qor_Common_Xcp_State_t state{0xEEEEEEEE, 0xEE, {0xEE, 0xEE, 0xEE}};
  EXPECT_EQ(Qor_Common_Xcp_GetState(port, kChannel, &state), 0u) << lastText();
  EXPECT_EQ(state.flags, 0x1Fu) << "bits 0 to 4 only";
  EXPECT_EQ(state.commandState, 2);
  EXPECT_EQ(state.reserved5[0] | state.reserved5[1] | state.reserved5[2], 0);

  const Qor_Common_Xcp_State_t before = state;
  EXPECT_EQ(Qor_Common_Xcp_GetState(port, kChannel, &state), kInvalidResponseParameter);
  EXPECT_EQ(lastText(), "0x02010009 - COMMON - invalid response parameter - firmware command state 0x3 is unknown");
  EXPECT_EQ(Qor_Common_Xcp_GetState(port, kChannel, &state), kInvalidResponseLength) << "an answer one byte short";
  EXPECT_EQ(state.flags, before.flags);
  EXPECT_EQ(Qor_Common_Xcp_GetState(port, kChannel, nullptr), kInvalidParameter);
}

TEST_F(XcpChannelSetUp, PropertiesAreCheckedBothWays) {
  expectRequest({6, kChannel, 0, 0, 4, 0, 0, 0, 0x78, 0x56, 0x34, 0x12});
  device_->expect(kXcpCommand, {5, kChannel, 0, 0, 1, 0, 0, 0})
      .answer({5, kChannel, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0});
  device_->expect(kXcpCommand, {5, kChannel, 0, 0, 2, 0, 0, 0})
      .answer({5, kChannel, 0, 0, 5, 0, 0, 0, 0xFF, 0, 0, 0});
  const uint32_t port = open();
  const Qor_Common_Xcp_Property_t timeStamps{4, 0, 0x12345678};
  EXPECT_EQ(Qor_Common_Xcp_Property_SetById(port, kChannel, &timeStamps), 0u) << lastText();

  Qor_Common_Xcp_Property_t property{0xEEEE, 0xEEEE, 0xEEEEEEEE};
  Qor_Common_Xcp_PropertyRequest_t request{1, 0};
  EXPECT_EQ(Qor_Common_Xcp_Property_GetById(port, kChannel, &request, &property), 0u) << lastText();
  EXPECT_EQ(property.id, 1);
  EXPECT_EQ(property.reserved2, 0);
  EXPECT_EQ(property.value, 0xFFu);

  request.id = 2;
  EXPECT_EQ(Qor_Common_Xcp_Property_GetById(port, kChannel, &request, &property), kInvalidResponseParameter);
  EXPECT_EQ(lastText(), "0x02010009 - COMMON - invalid response parameter - firmware property 5 id is unknown");
  EXPECT_EQ(property.id, 1) << "the result stays untouched";

  const std::string invalid = "0x02010007 - COMMON - invalid parameter - ";
  const Qor_Common_Xcp_Property_t badId{5, 0, 1};
  EXPECT_EQ(Qor_Common_Xcp_Property_SetById(port, kChannel, &badId), kInvalidParameter);
  EXPECT_EQ(lastText(), invalid + "property id value is unknown");
  const Qor_Common_Xcp_Property_t reserved{0, 1, 1};
  EXPECT_EQ(Qor_Common_Xcp_Property_SetById(port, kChannel, &reserved), kInvalidParameter);
  EXPECT_EQ(lastText(), invalid + "reserved bytes have to be zero");
  const Qor_Common_Xcp_PropertyRequest_t badRequest{0, 0x100};
  EXPECT_EQ(Qor_Common_Xcp_Property_GetById(port, kChannel, &badRequest, &property), kInvalidParameter);
  EXPECT_EQ(Qor_Common_Xcp_Property_GetById(port, kChannel, &request, nullptr), kInvalidParameter);
}

TEST_F(XcpChannelSetUp, TheEmulatedFirmwareKeepsTheRecordsAndProperties) {
  const auto firmware = emulator::XcpFirmware::attachTo(*device_);
  const uint32_t port = open();
  const Qor_Common_Xcp_CanTransport_t can{0, 1, 2, 3};
  EXPECT_EQ(Qor_Common_Xcp_Init_Can(port, 9, &can), 0u) << lastText();
  EXPECT_EQ(firmware->transport(9), concat({{0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}}));
  EXPECT_EQ(Qor_Common_Xcp_Reset(port, 9), 0u) << lastText();
  EXPECT_EQ(firmware->resets(9), 1u);

  const Qor_Common_Xcp_Property_t property{3, 0, 50};
  EXPECT_EQ(Qor_Common_Xcp_Property_SetById(port, 9, &property), 0u) << lastText();
  EXPECT_EQ(firmware->property(9, 3), 50u);
  Qor_Common_Xcp_Property_t read{};
  const Qor_Common_Xcp_PropertyRequest_t request{3, 0};
  EXPECT_EQ(Qor_Common_Xcp_Property_GetById(port, 9, &request, &read), 0u) << lastText();
  EXPECT_EQ(read.value, 50u);
  EXPECT_EQ(firmware->property(8, 3), 0u) << "channels keep their own";
}

}  // namespace
}  // namespace qor::common
