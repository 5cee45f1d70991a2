// The packet filters from the library through the daemon to an emulated Ethernet controller: each field goes out
// only with its flag bit, the records byte-exact, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <functional>

#include "ethernet_road.hpp"
#include "qor_ethernet_packet_filter.h"

namespace qor::test {
namespace {

constexpr uint8_t kFilter = 0x28;

Qor_Ethernet_PktFilter_t filter(uint32_t flags, uint8_t instance) {
  Qor_Ethernet_PktFilter_t f{flags, instance, 0x5A, 0x0801, 0x86DD, 0x11, 0, {}, {}, 0x1234, 0x5678};
  for (uint8_t i = 0; i < 16; ++i) {
    f.block1[i] = static_cast<uint8_t>(0xB0 + i);
    f.block2[i] = static_cast<uint8_t>(0xC0 + i);
  }
  return f;
}
Bytes block(uint8_t first) {
  Bytes bytes(16);
  for (uint8_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

using PacketFilterRoad = EthernetRoad;

TEST_F(PacketFilterRoad, FieldsGoOutOnlyWithTheirFlags) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes request;
  };
  const Case cases[] = {
      {"every field",
       [](uint32_t p) {
         const auto f = filter(0x7FF, 9);
         return Qor_Ethernet_PktFilter_Set(p, &f);
       },
       Record().u8(0).u8(1).u8(0x5A).u8(0).u8(0xFF).u8(0x03).u16(0).u8(9).u8(0).u16(0x0801).u16(0x86DD).u8(0x11).u8(
           0).bytes(block(0xB0)).bytes(block(0xC0)).u16(0x1234).u16(0x5678)},
      {"value 2, block 2 and value 5",
       [](uint32_t p) {
         const auto f = filter(0x0A5, 3);
         return Qor_Ethernet_PktFilter_Set(p, &f);
       },
       Record().u8(0).u8(0).u8(0).u8(0).u8(0xA5).u8(0).u16(0).u8(3).u8(0).u16(0).u16(0x86DD).u8(0).u8(0).zeros(16).bytes(
           block(0xC0)).u16(0).u16(0x5678)},
      {"reset with extra",
       [](uint32_t p) {
         const Qor_Ethernet_PktFilterReset_t reset{3, 9, 0x5A, 0};
         return Qor_Ethernet_PktFilter_Reset(p, &reset);
       },
       Record().u8(1).u8(1).u8(0x5A).u8(0).u32(1).u8(9).zeros(3)},
      {"reset",
       [](uint32_t p) {
         const Qor_Ethernet_PktFilterReset_t reset{0, 0, 0x5A, 0};
         return Qor_Ethernet_PktFilter_Reset(p, &reset);
       },
       Record().u8(1).u8(0).u8(0).u8(0).u32(0).u8(0).zeros(3)},
  };
  for (const Case& c : cases) device_->expect(kFilter, c.request).answer(Bytes{c.request[0], 0, 0, 0});
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();
}

TEST_F(PacketFilterRoad, RefusalsSendNothingAndSayWhy) {
  const Refusal cases[] = {
      {"set flags 0x800",
       [](uint32_t p) {
         const auto f = filter(0x800, 0);
         return Qor_Ethernet_PktFilter_Set(p, &f);
       },
       kUnknownFlag, ""},
      {"set reserved",
       [](uint32_t p) {
         auto f = filter(0, 0);
         f.reserved = 1;
         return Qor_Ethernet_PktFilter_Set(p, &f);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"set instance 10",
       [](uint32_t p) {
         const auto f = filter(0, 10);
         return Qor_Ethernet_PktFilter_Set(p, &f);
       },
       kInvalidParameter, "FilterInstanceId have to be lower then 10"},
      {"reset flags 4",
       [](uint32_t p) {
         const Qor_Ethernet_PktFilterReset_t reset{4, 0, 0, 0};
         return Qor_Ethernet_PktFilter_Reset(p, &reset);
       },
       kUnknownFlag, ""},
      {"reset reserved",
       [](uint32_t p) {
         const Qor_Ethernet_PktFilterReset_t reset{0, 0, 0, 0x100};
         return Qor_Ethernet_PktFilter_Reset(p, &reset);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"reset instance 10",
       [](uint32_t p) {
         const Qor_Ethernet_PktFilterReset_t reset{0, 10, 0, 0};
         return Qor_Ethernet_PktFilter_Reset(p, &reset);
       },
       kInvalidParameter, "FilterInstanceId have to be lower then 10"},
      {"no filter", [](uint32_t p) { return Qor_Ethernet_PktFilter_Set(p, nullptr); }, kInvalidParameter,
       "'filter' is NULL"},
  };
  expectRefusals(port_, cases);
}

}  // namespace
}  // namespace qor::test
