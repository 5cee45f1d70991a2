// The bus set-up functions on ports of the library: the first-generation LVDS grabber's register writes as the
// daemon receives them, and handles of no port. What the appliers send at open is the end-to-end test's.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "fake_application.hpp"

namespace {

using namespace qor::test;
using Bytes = FakeApplication::Bytes;

struct RegisterWrite {
  uint8_t reg;
  uint32_t value;
  bool operator==(const RegisterWrite&) const = default;
};

// The register writes among the FPGA requests that arrived.
std::vector<RegisterWrite> registerWrites(const FakeApplication& daemon) {
  std::vector<RegisterWrite> writes;
  for (const Bytes& request : daemon.requests(QOR_MSG_FPGA_ACCESS)) {
    FpgaRegisterRequest write{};
    if (request.size() != sizeof write) continue;
    memcpy(&write, request.data(), sizeof write);
    if (write.head.subFunction == QOR_FPGA_WRITE_REGISTER) writes.push_back({write.registerNumber, write.value});
  }
  return writes;
}

// The daemon's reply to an FPGA request that succeeded.
Bytes fpgaDone(const Bytes& request) {
  FpgaReply reply{};
  reply.header = {QOR_MSG_FPGA_ACCESS, {0, 0, 0}, sizeof reply, 0};
  memcpy(&reply.subFunction, &request[offsetof(FpgaRequest, subFunction)], sizeof reply.subFunction);
  Bytes bytes(sizeof reply);
  memcpy(bytes.data(), &reply, sizeof reply);
  return bytes;
}

// The grabber's own model keeps messages of megabytes, more than a test may queue; a PXI grabber of the same kind
// (FPGA host, no firmware) carries the same register writes.
TEST(FirstGenerationGrabber, RegisterWritesReachTheFpga) {
  FakeApplication daemon;
  daemon.script([](size_t, const Bytes& request) {
    return request[0] == QOR_MSG_FPGA_ACCESS ? std::vector<Bytes>{fpgaDone(request)} : std::vector<Bytes>{};
  });
  uint32_t port = QOR_NO_PORT;
  ASSERT_EQ(openPort(56, port), 0u) << Qor_GetLastErrorDescription();
  Qor_Lvds_FrameGrabber_Init_Parameters_t grabber{};
  grabber.width = 640;
  grabber.height = 480;
  grabber.syncWidthHorizontal = 10;
  grabber.syncWidthVertical = 2;
  grabber.dataEnableLevel = 1;
  for (uint8_t i = 0; i < 24; ++i) grabber.colourMap[i] = i;
  memset(grabber.colourMap + 24, QOR_LVDS_COLOUR_UNUSED, 8);
  grabber.colourMap[26] = 24;
  grabber.colourMap[31] = 40; // no bit of a pixel word
  EXPECT_EQ(Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(port, &grabber), 0x2060005u);
  EXPECT_TRUE(registerWrites(daemon).empty());
  grabber.colourMap[31] = QOR_LVDS_COLOUR_UNUSED;
  ASSERT_EQ(Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(port, &grabber), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_InterfaceConfig_Lvds_FrameGrabber1_Config_DeserializerVector(port, 1, 2, 3, 4), 0u);
  EXPECT_TRUE(daemon.requests(QOR_MSG_FIRMWARE_FRAME).empty()); // an FPGA without firmware
  EXPECT_EQ(registerWrites(daemon), (std::vector<RegisterWrite>{{2, 1},
                                                                {16, 0x01E00280},
                                                                {18, 0x0002000A},
                                                                {64, 0x23222120},
                                                                {65, 0x27262524},
                                                                {66, 0x2B2A2928},
                                                                {67, 0x2F2E2D2C},
                                                                {68, 0x33323130},
                                                                {69, 0x37363534},
                                                                {70, 0x00380000},
                                                                {71, 0},
                                                                {73, 32},
                                                                {3, 0x1280000},
                                                                {80, 0x04030201}}));
  EXPECT_EQ(Qor_CloseInterface(port), 0u);
}

TEST(BusSetUp, BadHandles) {
  const Qor_Lin_NodeConfig_t node{};
  const Qor_Lvds_FrameGrabber_Init_Parameters_t grabber{};
  const std::function<uint32_t()> calls[] = {
      [] { return Qor_InterfaceConfig_Can_InitInterface(3, 0, 0); },
      [] { return Qor_InterfaceConfig_Lin_InitInterface(3, 0); },
      [&] { return Qor_InterfaceConfig_Lin_Node_Config2(3, &node); },
      [] { return Qor_InterfaceConfig_FlexRay_Init(3, 0, 0, 0); },
      [] { return Qor_InterfaceConfig_Most_Node_SetProperties(3, 0, 0, 0, 0, 0, 0); },
      [] { return Qor_InterfaceConfig_Lvds_FrameGrabber2_SetMode(3, 1); },
      [&] { return Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(3, &grabber); },
      [] { return Qor_InterfaceConfig_Can_Apply(255, "/tmp/x.xml", "1_1_1_CAN"); },
      [] { return Qor_InterfaceConfig_Lvds_Apply(300, "/tmp/x.xml", "1_1_1_LVDS"); },
  };
  for (const auto& call : calls) {
    EXPECT_EQ(call(), 0x200000Au);
    EXPECT_EQ(Qor_GetLastErrorCode(), 0x200000Au);
  }
}

} // namespace
