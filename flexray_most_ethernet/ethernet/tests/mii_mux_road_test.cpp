// The MII multiplexer from the library through the daemon to an emulated Ethernet controller: every request
// byte-exact, the selection read back with unknown types marked, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_mii_mux.h"

namespace qor::test {
namespace {

constexpr uint8_t kMiiMux = 0x22;

using MiiMuxRoad = EthernetRoad;

TEST_F(MiiMuxRoad, ResetsAndSetsGoOutByteExact) {
  device_->expect(kMiiMux, Record().u32(0)).answer(Record().u32(0));
  device_->expect(kMiiMux, Record().u32(3)).answer(Record().u32(3));
  device_->expect(kMiiMux, Record().u32(1).u8(3).zeros(3).u8(7).u8(0xA1).u8(5).u8(0xB2)).answer(Record().u32(1));
  EXPECT_EQ(Qor_Ethernet_MiiMux_ResetOwnSelections(port_), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_MiiMux_ResetAllSelections(port_), 0u) << lastText();
  const Qor_Ethernet_MiiMux_Selection_t selection{3, 7, 0xA1, 5, 0xB2};
  EXPECT_EQ(Qor_Ethernet_MiiMux_Selection_Set(port_, &selection), 0u) << lastText();
}

TEST_F(MiiMuxRoad, TheSelectionReadBackMarksUnknownTypes) {
  struct Case {
    const char* name;
    Bytes answer;
    Qor_Ethernet_MiiMux_Selection_t selection;
  };
  const Case cases[] = {
      {"known types", Record().u32(2).u8(0xFE).zeros(3).u8(7).u8(0x11).u8(5).u8(0x22), {2, 7, 0x11, 5, 0x22}},
      {"target 8, source 6", Record().u32(2).u8(1).zeros(3).u8(8).u8(0x11).u8(6).u8(0x22), {1, 8, 0x11, 6, 0x22}},
      {"target 0xFF, source 0x80", Record().u32(2).u8(0).zeros(3).u8(0xFF).u8(0).u8(0x80).u8(0), {0, 8, 0, 6, 0}},
  };
  const Qor_Ethernet_MiiMux_SelectionKey_t key{1, 3, 0x44, 0};
  for (const Case& c : cases) {
    device_->expect(kMiiMux, Record().u32(2).u32(1).u8(3).u8(0x44).u16(0)).answer(c.answer);
    Qor_Ethernet_MiiMux_Selection_t selection{0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Qor_Ethernet_MiiMux_Selection_Get(port_, &key, &selection), 0u) << c.name << ": " << lastText();
    EXPECT_EQ(selection.flags, c.selection.flags) << c.name;
    EXPECT_EQ(selection.TargetType, c.selection.TargetType) << c.name;
    EXPECT_EQ(selection.targetValue, c.selection.targetValue) << c.name;
    EXPECT_EQ(selection.SourceType, c.selection.SourceType) << c.name;
    EXPECT_EQ(selection.sourceValue, c.selection.sourceValue) << c.name;
  }
}

TEST_F(MiiMuxRoad, AShortSelectionAnswerWritesNothing) {
  device_->expect(kMiiMux, Record().u32(2).u32(0).u8(0).u8(0).u16(0)).answer(Record().u32(2).u8(1).zeros(3).u8(1));
  const Qor_Ethernet_MiiMux_SelectionKey_t key{};
  Qor_Ethernet_MiiMux_Selection_t selection{0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(Qor_Ethernet_MiiMux_Selection_Get(port_, &key, &selection), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 9 bytes, 12 expected"), std::string::npos) << lastText();
  EXPECT_EQ(selection.flags, 0xEEu);
  EXPECT_EQ(selection.TargetType, 0xEE);
}

TEST_F(MiiMuxRoad, RefusalsSendNothingAndSayWhy) {
  Qor_Ethernet_MiiMux_Selection_t out{};
  const Refusal cases[] = {
      {"set flags 4",
       [](uint32_t p) {
         const Qor_Ethernet_MiiMux_Selection_t s{4, 0, 0, 0, 0};
         return Qor_Ethernet_MiiMux_Selection_Set(p, &s);
       },
       kUnknownFlag, ""},
      {"target type 8",
       [](uint32_t p) {
         const Qor_Ethernet_MiiMux_Selection_t s{0, 8, 0, 0, 0};
         return Qor_Ethernet_MiiMux_Selection_Set(p, &s);
       },
       kInvalidParameter, "TargetType' is unknown"},
      {"source type 6",
       [](uint32_t p) {
         const Qor_Ethernet_MiiMux_Selection_t s{0, 7, 0, 6, 0};
         return Qor_Ethernet_MiiMux_Selection_Set(p, &s);
       },
       kInvalidParameter, "SourceType' is unknown"},
      {"no selection", [](uint32_t p) { return Qor_Ethernet_MiiMux_Selection_Set(p, nullptr); }, kInvalidParameter,
       "'selection' is NULL"},
      {"get flags 2",
       [&](uint32_t p) {
         const Qor_Ethernet_MiiMux_SelectionKey_t k{2, 0, 0, 0};
         return Qor_Ethernet_MiiMux_Selection_Get(p, &k, &out);
       },
       kUnknownFlag, ""},
      {"key reserved",
       [&](uint32_t p) {
         const Qor_Ethernet_MiiMux_SelectionKey_t k{0, 0, 0, 0x100};
         return Qor_Ethernet_MiiMux_Selection_Get(p, &k, &out);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"no key", [&](uint32_t p) { return Qor_Ethernet_MiiMux_Selection_Get(p, nullptr, &out); }, kInvalidParameter,
       "'key' is NULL"},
  };
  expectRefusals(port_, cases);
  const uint32_t canPort = open(2);
  EXPECT_EQ(Qor_Ethernet_MiiMux_ResetAllSelections(canPort), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
