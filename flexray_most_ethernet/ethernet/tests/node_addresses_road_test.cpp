// The node's IPv4 and IPv6 addresses, VLANs and MAC address from the library through the daemon to an emulated
// Ethernet controller: every request byte-exact, lists read with their counts cut to the entries that arrived, and
// the refusals that send nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "ethernet_road.hpp"
#include "qor_ethernet_node.h"

namespace qor::test {
namespace {

constexpr uint8_t kNode = 0x20;

const Bytes kIp4{192, 168, 1, 20}, kMask{255, 255, 255, 0};
const Bytes kIp6{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x11, 0x22, 0xFF, 0xFE, 0x33, 0x44, 0x55};
const Bytes kMac{0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};

Qor_Ethernet_Node_Ip4Address_t ip4Address(uint32_t flags) {
  return {flags, {192, 168, 1, 20}, {255, 255, 255, 0}, 0xA1A2A3A4};
}
Qor_Ethernet_Node_Ip6Address_t ip6Address(uint32_t flags) {
  Qor_Ethernet_Node_Ip6Address_t address{flags, {}, 64, {}, 0xB1B2B3B4};
  std::copy(kIp6.begin(), kIp6.end(), address.address);
  return address;
}
Qor_Ethernet_Node_Ip6AddressKey_t ip6Key(uint32_t flags) {
  Qor_Ethernet_Node_Ip6AddressKey_t key{flags, {}, 0xC1C2C3C4};
  std::copy(kIp6.begin(), kIp6.end(), key.address);
  return key;
}
Qor_Ethernet_Node_MacAddressSetting_t macSetting(uint32_t flags, uint16_t reserved = 0) {
  return {flags, {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30}, reserved, 0xD1D2D3D4};
}

using NodeAddressesRoad = EthernetRoad;

TEST_F(NodeAddressesRoad, ChangesGoOutByteExact) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes request;
  };
  const Case cases[] = {
      {"IPv4 add qualified",
       [](uint32_t p) {
         const auto a = ip4Address(1);
         return Qor_Ethernet_Node_LocalIp4Address_Add(p, &a);
       },
       Record().u32(0).u32(1).bytes(kIp4).bytes(kMask).u32(0xA1A2A3A4).zeros(4)},
      {"IPv4 add, qualifier left out",
       [](uint32_t p) {
         const auto a = ip4Address(0);
         return Qor_Ethernet_Node_LocalIp4Address_Add(p, &a);
       },
       Record().u32(0).u32(0).bytes(kIp4).bytes(kMask).u32(0).zeros(4)},
      {"IPv4 remove",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Ip4AddressKey_t key{1, {192, 168, 1, 20}, 0x01020304};
         return Qor_Ethernet_Node_LocalIp4Address_Remove(p, &key);
       },
       Record().u32(1).u32(1).bytes(kIp4).u32(0x01020304).zeros(4)},
      {"IPv6 add",
       [](uint32_t p) {
         const auto a = ip6Address(0);
         return Qor_Ethernet_Node_LocalIp6Address_Add(p, &a);
       },
       Record().u32(3).u32(0).bytes(kIp6).u8(64).zeros(3).u32(0xB1B2B3B4).zeros(4)},
      {"IPv6 remove",
       [](uint32_t p) {
         const auto key = ip6Key(1);
         return Qor_Ethernet_Node_LocalIp6Address_Remove(p, &key);
       },
       Record().u32(4).u32(1).bytes(kIp6).u32(0xC1C2C3C4).zeros(4)},
      {"VLAN configure",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t vlan{0, 42};
         return Qor_Ethernet_Node_Vlan_Config(p, &vlan);
       },
       Record().u32(8).u32(0).u32(42).zeros(4)},
      {"VLAN delete",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t vlan{1, 42};
         return Qor_Ethernet_Node_Vlan_Delete(p, &vlan);
       },
       Record().u32(9).u32(1).u32(42).zeros(4)},
      {"MAC set qualified",
       [](uint32_t p) {
         const auto setting = macSetting(1);
         return Qor_Ethernet_Node_MacAddress_Set(p, &setting);
       },
       Record().u32(11).u32(1).bytes(kMac).u16(0).u32(0xD1D2D3D4).zeros(4)},
      {"MAC set, qualifier left out",
       [](uint32_t p) {
         const auto setting = macSetting(0);
         return Qor_Ethernet_Node_MacAddress_Set(p, &setting);
       },
       Record().u32(11).u32(0).bytes(kMac).u16(0).u32(0).zeros(4)},
  };
  for (const Case& c : cases) device_->expect(kNode, c.request).answer(Bytes(c.request.begin(), c.request.begin() + 4));
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastText();
}

TEST_F(NodeAddressesRoad, ListsHoldTheEntriesThatArrived) {
  const Qor_Ethernet_Node_Selection_t qualified{1, 0x11223344}, plain{0, 0x55667788};
  device_->expect(kNode, Record().u32(2).u32(1).u32(0x11223344).zeros(4))
      .answer(Record().u32(2).u32(0).u16(2).u16(0).bytes(kIp4).bytes(kMask).u32(0xEEEEEEEE).u32(0x0A000001).u32(
          0xFF000000).u32(0xEEEEEEEE));
  // Three announced, two sent.
  device_->expect(kNode, Record().u32(2).u32(0).u32(0).zeros(4))
      .answer(Record().u32(2).u32(0).u16(3).u16(0).zeros(24));
  device_->expect(kNode, Record().u32(5).u32(0).u32(0x55667788).zeros(4))
      .answer(Record().u32(5).u32(0).u16(1).u16(0).bytes(kIp6).u8(64).u8(0xEE).u16(0xEEEE));
  device_->expect(kNode, Record().u32(14).u32(0).zeros(4))
      .answer(Record().u32(14).u32(0).u16(3).u16(0).u32(1).u32(42).u32(4094));
  device_->expect(kNode, Record().u32(14).u32(0).zeros(4)).answer(Record().u32(14).u32(0).u16(2).u16(0).u32(7).u16(8));

  Qor_Ethernet_Node_Ip4AddressList_t ip4{};
  ASSERT_EQ(Qor_Ethernet_Node_LocalIp4Address_GetAll(port_, &qualified, &ip4), 0u) << lastText();
  ASSERT_EQ(ip4.count, 2u);
  EXPECT_EQ(Bytes(ip4.entries[0].address, ip4.entries[0].address + 4), kIp4);
  EXPECT_EQ(Bytes(ip4.entries[0].mask, ip4.entries[0].mask + 4), kMask);
  EXPECT_EQ(ip4.entries[0].reserved, 0u);
  EXPECT_EQ(Bytes(ip4.entries[1].address, ip4.entries[1].address + 4), (Bytes{1, 0, 0, 10}));

  ASSERT_EQ(Qor_Ethernet_Node_LocalIp4Address_GetAll(port_, &plain, &ip4), 0u) << lastText();
  EXPECT_EQ(ip4.count, 2u) << "three announced, two arrived";

  Qor_Ethernet_Node_Ip6AddressList_t ip6{};
  ip6.entries[0].reserved[0] = 0xEE;
  ASSERT_EQ(Qor_Ethernet_Node_LocalIp6Address_GetAll(port_, &plain, &ip6), 0u) << lastText();
  ASSERT_EQ(ip6.count, 1u);
  EXPECT_EQ(Bytes(ip6.entries[0].address, ip6.entries[0].address + 16), kIp6);
  EXPECT_EQ(ip6.entries[0].prefix, 64u);
  EXPECT_EQ(ip6.entries[0].reserved[0], 0u);

  Qor_Ethernet_Node_VlanList_t vlans{};
  ASSERT_EQ(Qor_Ethernet_Node_Vlan_GetAll(port_, 0, &vlans), 0u) << lastText();
  ASSERT_EQ(vlans.count, 3u);
  EXPECT_EQ(vlans.vlans[0], 1u);
  EXPECT_EQ(vlans.vlans[1], 42u);
  EXPECT_EQ(vlans.vlans[2], 4094u);
  ASSERT_EQ(Qor_Ethernet_Node_Vlan_GetAll(port_, 0, &vlans), 0u) << lastText();
  EXPECT_EQ(vlans.count, 1u) << "a VLAN of two bytes is no VLAN";
  EXPECT_EQ(vlans.vlans[0], 7u);
  EXPECT_EQ(vlans.vlans[1], 0u);
}

TEST_F(NodeAddressesRoad, ACountBeyondTheListIsStoredAndNothingIsCopied) {
  const Qor_Ethernet_Node_Selection_t plain{0, 0};
  device_->expect(kNode, Record().u32(2).u32(0).u32(0).zeros(4))
      .answer(Record().u32(2).u32(0).u16(101).u16(0).u32(0x0101A8C0).zeros(8));
  device_->expect(kNode, Record().u32(14).u32(0).zeros(4)).answer(Record().u32(14).u32(0).u16(129).u16(0).u32(5));
  Qor_Ethernet_Node_Ip4AddressList_t ip4{};
  EXPECT_EQ(Qor_Ethernet_Node_LocalIp4Address_GetAll(port_, &plain, &ip4), kBufferTooSmall);
  EXPECT_NE(lastText().find("buffer for addresses (100) < number of returned addresses (101)"), std::string::npos)
      << lastText();
  EXPECT_EQ(ip4.count, 101u);
  EXPECT_EQ(ip4.entries[0].address[0], 0u);
  Qor_Ethernet_Node_VlanList_t vlans{};
  EXPECT_EQ(Qor_Ethernet_Node_Vlan_GetAll(port_, 0, &vlans), kBufferTooSmall);
  EXPECT_NE(lastText().find("buffer for Vlans (128) < number of returned Vlans (129)"), std::string::npos)
      << lastText();
  EXPECT_EQ(vlans.count, 129u);
  EXPECT_EQ(vlans.vlans[0], 0u);
}

TEST_F(NodeAddressesRoad, ShortAnswersAreRefusedWithTheOutputUntouched) {
  const Qor_Ethernet_Node_Selection_t plain{0, 0};
  device_->expect(kNode, Record().u32(5).u32(0).u32(0).zeros(4)).answer(Record().u32(5).u32(0).u16(0));
  device_->expect(kNode, Record().u32(10).u32(0).u32(0).zeros(4)).answer(Record().u32(10).u32(0).u32(0x105E0002));
  Qor_Ethernet_Node_Ip6AddressList_t ip6{};
  ip6.count = 0xEEEE;
  EXPECT_EQ(Qor_Ethernet_Node_LocalIp6Address_GetAll(port_, &plain, &ip6), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 10 bytes, 12 expected"), std::string::npos) << lastText();
  EXPECT_EQ(ip6.count, 0xEEEEu);
  Qor_Ethernet_Node_MacAddress_t mac{};
  mac.address[0] = 0xEE;
  EXPECT_EQ(Qor_Ethernet_Node_MacAddress_Get(port_, &plain, &mac), kInvalidParameter);
  EXPECT_NE(lastText().find("response of 12 bytes, 14 expected"), std::string::npos) << lastText();
  EXPECT_EQ(mac.address[0], 0xEEu);
}

TEST_F(NodeAddressesRoad, TheMacAddressIsReadFromItsPlace) {
  const Qor_Ethernet_Node_Selection_t qualified{1, 0x0A0B0C0D};
  device_->expect(kNode, Record().u32(10).u32(1).u32(0x0A0B0C0D).zeros(4))
      .answer(Record().u32(10).u32(0).bytes(kMac).u16(0xEEEE));
  Qor_Ethernet_Node_MacAddress_t mac;
  std::memset(&mac, 0xEE, sizeof mac);
  ASSERT_EQ(Qor_Ethernet_Node_MacAddress_Get(port_, &qualified, &mac), 0u) << lastText();
  EXPECT_EQ(mac.reserved, 0u);
  EXPECT_EQ(Bytes(mac.address, mac.address + 6), kMac);
  EXPECT_EQ(mac.reserved2, 0u);
}

TEST_F(NodeAddressesRoad, RefusalsSendNothingAndSayWhy) {
  const Refusal cases[] = {
      {"IPv4 add flags 2",
       [](uint32_t p) {
         const auto a = ip4Address(2);
         return Qor_Ethernet_Node_LocalIp4Address_Add(p, &a);
       },
       kUnknownFlag, ""},
      {"IPv6 remove flags 0x80000000",
       [](uint32_t p) {
         const auto key = ip6Key(0x80000000);
         return Qor_Ethernet_Node_LocalIp6Address_Remove(p, &key);
       },
       kUnknownFlag, ""},
      {"IPv6 add reserved",
       [](uint32_t p) {
         auto a = ip6Address(1);
         a.reserved[2] = 1;
         return Qor_Ethernet_Node_LocalIp6Address_Add(p, &a);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"MAC set reserved",
       [](uint32_t p) {
         const auto setting = macSetting(0, 0x0100);
         return Qor_Ethernet_Node_MacAddress_Set(p, &setting);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"VLAN configure flags 1",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t vlan{1, 42};
         return Qor_Ethernet_Node_Vlan_Config(p, &vlan);
       },
       kUnknownFlag, ""},
      {"VLAN delete flags 2",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t vlan{2, 42};
         return Qor_Ethernet_Node_Vlan_Delete(p, &vlan);
       },
       kUnknownFlag, ""},
      {"VLANs read flags 1",
       [](uint32_t p) {
         Qor_Ethernet_Node_VlanList_t list{};
         return Qor_Ethernet_Node_Vlan_GetAll(p, 1, &list);
       },
       kUnknownFlag, ""},
      {"IPv4 read flags 2",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t selection{2, 0};
         Qor_Ethernet_Node_Ip4AddressList_t list{};
         return Qor_Ethernet_Node_LocalIp4Address_GetAll(p, &selection, &list);
       },
       kUnknownFlag, ""},
      {"IPv6 read without list",
       [](uint32_t p) {
         const Qor_Ethernet_Node_Selection_t selection{0, 0};
         return Qor_Ethernet_Node_LocalIp6Address_GetAll(p, &selection, nullptr);
       },
       kInvalidParameter, "'list' is NULL"},
      {"MAC read without selection",
       [](uint32_t p) {
         Qor_Ethernet_Node_MacAddress_t mac{};
         return Qor_Ethernet_Node_MacAddress_Get(p, nullptr, &mac);
       },
       kInvalidParameter, "'selection' is NULL"},
      {"IPv4 remove without key", [](uint32_t p) { return Qor_Ethernet_Node_LocalIp4Address_Remove(p, nullptr); },
       kInvalidParameter, "'key' is NULL"},
  };
  expectRefusals(port_, cases);
  const auto setting = macSetting(0);
  EXPECT_EQ(Qor_Ethernet_Node_MacAddress_Set(open(2), &setting), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
