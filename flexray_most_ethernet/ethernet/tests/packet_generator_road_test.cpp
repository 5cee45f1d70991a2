// The packet generator from the library through the daemon to an emulated Ethernet controller: the records
// byte-exact up to the longest frame, the state read from its places, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_packet_generator.h"

namespace qor::test {
namespace {

constexpr uint8_t kGenerator = 0x21;

Qor_Ethernet_PktGen_Config_t config(uint32_t flags, uint8_t mode, uint16_t frameLength) {
  Qor_Ethernet_PktGen_Config_t c{flags, mode, 0, frameLength, 0x11111111, 0x22222222, 0x33333333, {}};
  for (size_t i = 0; i < sizeof c.frame; ++i) c.frame[i] = static_cast<uint8_t>(i);
  return c;
}

Bytes configRecord(uint8_t flags, uint8_t mode, uint16_t frameLength) {
  Bytes frame(frameLength);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i);
  return Record().u32(1).u8(flags).zeros(3).u8(mode).u8(0).u16(frameLength).u32(0x33333333).u32(0x11111111).u32(
      0x22222222).bytes(frame);
}

using PacketGeneratorRoad = EthernetRoad;

TEST_F(PacketGeneratorRoad, RecordsGoOutByteExactUpToTheLongestFrame) {
  device_->expect(kGenerator, Record().u32(0)).answer(Record().u32(0));
  device_->expect(kGenerator, configRecord(0x1F, 2, 60)).answer(Record().u32(1));
  device_->expect(kGenerator, configRecord(0, 0, 0)).answer(Record().u32(1));
  device_->expect(kGenerator, configRecord(1, 1, QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES)).answer(Record().u32(1));
  EXPECT_EQ(Qor_Ethernet_PktGen_Reset(port_), 0u) << lastText();
  const auto all = config(0x1F, 2, 60), empty = config(0, 0, 0);
  const auto longest = config(1, 1, QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES);
  EXPECT_EQ(Qor_Ethernet_PktGen_Config(port_, &all), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_PktGen_Config(port_, &empty), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_PktGen_Config(port_, &longest), 0u) << lastText();
}

TEST_F(PacketGeneratorRoad, TheStateIsReadFromItsPlaces) {
  device_->expect(kGenerator, Record().u32(2).u32(0))
      .answer(Record().u32(2).u32(0xFF).u32(1).u32(0xC0).u32(0xD0).u32(0xE0).u32(0xA0).u32(0xB0));
  device_->expect(kGenerator, Record().u32(2).u32(0))
      .answer(Record().u32(2).u32(0x05).u32(9).u32(0).u32(0).u32(0).u32(0).u32(0));
  device_->expect(kGenerator, Record().u32(2).u32(0)).answer(Record().u32(2).u32(0).u32(0).zeros(16));
  const uint32_t flags = 0;
  Qor_Ethernet_PktGen_State_t state;
  std::fill_n(reinterpret_cast<uint8_t*>(&state), sizeof state, 0xEE);
  ASSERT_EQ(Qor_Ethernet_PktGen_GetState(port_, &flags, &state), 0u) << lastText();
  EXPECT_EQ(state.status, 0x7Fu);
  EXPECT_EQ(state.mode, 1u);
  EXPECT_EQ(state.reserved[2], 0u);
  const uint32_t values[] = {0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
  EXPECT_TRUE(std::equal(std::begin(values), std::end(values), state.values));
  ASSERT_EQ(Qor_Ethernet_PktGen_GetState(port_, &flags, &state), 0u) << lastText();
  EXPECT_EQ(state.status, 5u);
  EXPECT_EQ(state.mode, QOR_ETHERNET_PKT_GEN_MODE_UNKNOWN) << "firmware mode 9";
  EXPECT_EQ(Qor_Ethernet_PktGen_GetState(port_, &flags, &state), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 28 bytes, 32 expected"), std::string::npos) << lastText();
  EXPECT_EQ(state.status, 5u);
}

TEST_F(PacketGeneratorRoad, RefusalsSendNothingAndSayWhy) {
  const Refusal cases[] = {
      {"flags 0x20",
       [](uint32_t p) {
         const auto c = config(0x20, 0, 10);
         return Qor_Ethernet_PktGen_Config(p, &c);
       },
       kUnknownFlag, ""},
      {"reserved",
       [](uint32_t p) {
         auto c = config(0, 0, 10);
         c.reserved = 1;
         return Qor_Ethernet_PktGen_Config(p, &c);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"mode 3",
       [](uint32_t p) {
         const auto c = config(0, 3, 10);
         return Qor_Ethernet_PktGen_Config(p, &c);
       },
       kUnknownMode, ""},
      {"frame 4061",
       [](uint32_t p) {
         const auto c = config(0, 0, QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES + 1);
         return Qor_Ethernet_PktGen_Config(p, &c);
       },
       kInvalidParameter, "maximum length is 4060 bytes"},
      {"no configuration", [](uint32_t p) { return Qor_Ethernet_PktGen_Config(p, nullptr); }, kInvalidParameter,
       "'config' is NULL"},
      {"state flags 2",
       [](uint32_t p) {
         const uint32_t flags = 2;
         Qor_Ethernet_PktGen_State_t state{};
         return Qor_Ethernet_PktGen_GetState(p, &flags, &state);
       },
       kUnknownFlag, ""},
  };
  expectRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
