// TAR instances from the library through the daemon to an emulated Ethernet controller: sockets, items, start, stop
// and state byte-exact, items loaded in records cut by the parameter length, and refusals that send nothing.
#include <gtest/gtest.h>

#include <vector>

#include "ethernet_road.hpp"
#include "qor_ethernet_tar.h"

namespace qor::test {
namespace {

constexpr uint8_t kTar = 0x25;
constexpr uint8_t kInstance = 3;

using TarRoad = EthernetRoad;

const uint8_t kAddress1[16] = {0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
const uint8_t kAddress2[16] = {0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};

Bytes bytesOf(const uint8_t* data, size_t count) { return Bytes(data, data + count); }

Record configureHead(uint8_t kind, uint8_t flags) {
  return Record().u32(0).u8(kInstance).u8(kind).u16(0).u8(flags).zeros(3);
}

TEST_F(TarRoad, SocketsGoOutByteExact) {
  const Qor_Ethernet_Tar_Config4_t udp4{0x03, kInstance, {}, {192, 168, 0, 1}, {192, 168, 0, 2}, 30000, 30490};
  const Qor_Ethernet_Tar_Config4_t tcp4{0x07, kInstance, {}, {10, 0, 0, 1}, {10, 0, 0, 2}, 80, 8080};
  Qor_Ethernet_Tar_Config6_t udp6{0x07, kInstance, {}, {}, {}, 30000, 30490, 0xA1A2A3A4};
  std::copy(kAddress1, kAddress1 + 16, udp6.address1);
  std::copy(kAddress2, kAddress2 + 16, udp6.address2);
  Qor_Ethernet_Tar_Config6_t tcp6 = udp6;
  tcp6.flags = 0x0F;
  const Qor_Ethernet_Tar_ConfigOff_t off{0, kInstance, {}};
  device_->expect(kTar, configureHead(1, 0x03).bytes({192, 168, 0, 1}).bytes({192, 168, 0, 2}).u16(30000).u16(30490))
      .answer(Record().u32(0));
  device_->expect(kTar, configureHead(2, 0x07).bytes({10, 0, 0, 1}).bytes({10, 0, 0, 2}).u16(80).u16(8080))
      .answer(Record().u32(0));
  const Bytes ipv6Tail = Record().bytes(bytesOf(kAddress1, 16)).bytes(bytesOf(kAddress2, 16)).u16(30000).u16(30490)
                             .u32(0xA1A2A3A4);
  device_->expect(kTar, configureHead(3, 0x07).bytes(ipv6Tail)).answer(Record().u32(0));
  device_->expect(kTar, configureHead(4, 0x0F).bytes(ipv6Tail)).answer(Record().u32(0));
  device_->expect(kTar, Record().u32(0).u8(kInstance).u8(0).u16(0)).answer(Record().u32(0));
  EXPECT_EQ(Qor_Ethernet_Tar_Config_Udp4(port_, &udp4), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Tar_Config_Tcp4(port_, &tcp4), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Tar_Config_Udp6(port_, &udp6), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Tar_Config_Tcp6(port_, &tcp6), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Tar_Config_Off(port_, &off), 0u) << lastText();
}

TEST_F(TarRoad, StartStopAndStateGoOutByteExact) {
  device_->expect(kTar, Record().u32(3).u8(kInstance).u8(1).u16(0)).answer(Record().u32(3));
  device_->expect(kTar, Record().u32(4).u8(kInstance).zeros(3)).answer(Record().u32(4));
  const Qor_Ethernet_Tar_StartKey_t startKey{kInstance, 1, {}};
  const Qor_Ethernet_Tar_Key_t key{kInstance, {}};
  EXPECT_EQ(Qor_Ethernet_Tar_Start(port_, &startKey), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_Tar_Stop(port_, &key), 0u) << lastText();

  const struct {
    uint8_t firmwareState;
    uint8_t flags;
    uint8_t state;
    uint8_t flag;
  } cases[] = {{0, 0xFE, 0, 0}, {4, 0xFF, 4, 1}, {6, 0x01, 5, 1}, {0xFF, 0, 5, 0}};
  for (const auto& c : cases) {
    device_->expect(kTar, Record().u32(5).u8(kInstance).zeros(3))
        .answer(Record().u32(5).u8(0x42).u8(c.firmwareState).u8(c.flags).u8(0x99).u32(0x01020304).u32(0x05060708));
    Qor_Ethernet_Tar_State_t state{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Qor_Ethernet_Tar_GetState(port_, &key, &state), 0u) << lastText();
    EXPECT_EQ(state.value, 0x42);
    EXPECT_EQ(state.flag, c.flag) << int(c.firmwareState);
    EXPECT_EQ(state.state, c.state) << int(c.firmwareState);
    EXPECT_EQ(state.reserved, 0);
    EXPECT_EQ(state.firstValue, 0x01020304u);
    EXPECT_EQ(state.secondValue, 0x05060708u);
  }
  device_->expect(kTar, Record().u32(5).u8(kInstance).zeros(3)).answer(Record().u32(5).u8(1).u8(2).u16(0).u32(3));
  Qor_Ethernet_Tar_State_t state{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(Qor_Ethernet_Tar_GetState(port_, &key, &state), kInvalidParameter);
  EXPECT_TRUE(saysSo("response of 12 bytes, 16 expected")) << lastText();
  EXPECT_EQ(state.state, 0xEE);
}

// Payloads as a UDP service sends and expects them.
Bytes payload(uint8_t seed, size_t length) {
  Bytes bytes(length);
  for (size_t index = 0; index < length; ++index) bytes[index] = static_cast<uint8_t>(seed + index);
  return bytes;
}

Record itemRecord(uint8_t txFlags, bool rx, uint16_t value, const Bytes& tx, uint16_t rxLength, const Bytes& rxData) {
  Record record;
  record.u8(txFlags).u8(rx ? 1 : 0).u16(0).u16(value).u16(tx.size()).u16(rxLength).u16(0).bytes(tx);
  if (rx) record.bytes(rxData);
  return record;
}

Bytes addItemsHead(uint16_t count) { return Record().u32(2).u8(kInstance).u8(0).u16(count); }

TEST_F(TarRoad, ItemsTravelWithTheirDataAndRxDataOnlyWhenExpected) {
  const Bytes request = payload(0x10, 5), response = payload(0x80, 3), other = payload(0x20, 2);
  const Qor_Ethernet_Tar_Item_t items[] = {
      {0x07, 0x01, 0x1234, 5, 3, request.data(), response.data()},
      {0x00, 0x00, 0x5678, 2, 4, other.data(), nullptr},
  };
  device_->expect(kTar, Record().bytes(addItemsHead(2)).bytes(itemRecord(0x07, true, 0x1234, request, 3, response))
                            .bytes(itemRecord(0, false, 0x5678, other, 4, {})))
      .answer(Record().u32(2));
  EXPECT_EQ(Qor_Ethernet_Tar_AddItems_Udp4(port_, kInstance, 2, items), 0u) << lastText();

  device_->expect(kTar, addItemsHead(0)).answer(Record().u32(2));
  EXPECT_EQ(Qor_Ethernet_Tar_AddItems_Tcp6(port_, kInstance, 0, nullptr), 0u) << lastText();
}

// 4084 - 8 bytes hold four items of 12 + 1000 bytes, not five.
TEST_F(TarRoad, LongItemsGoFourToARecord) {
  std::vector<Bytes> data;
  std::vector<Qor_Ethernet_Tar_Item_t> items;
  for (uint8_t index = 0; index < 9; ++index) data.push_back(payload(index, 1000));
  for (uint8_t index = 0; index < 9; ++index) items.push_back({0, 0, index, 1000, 0, data[index].data(), nullptr});
  for (const auto& [first, count] : std::vector<std::pair<int, int>>{{0, 4}, {4, 4}, {8, 1}}) {
    Record record;
    record.bytes(addItemsHead(static_cast<uint16_t>(count)));
    for (int index = first; index < first + count; ++index) {
      record.bytes(itemRecord(0, false, static_cast<uint16_t>(index), data[index], 0, {}));
    }
    device_->expect(kTar, record).answer(Record().u32(2));
  }
  EXPECT_EQ(Qor_Ethernet_Tar_AddItems(port_, kInstance, 9, items.data()), 0u) << lastText();
}

// A bad item anywhere in the call is found before the first record leaves, and an item no record can hold is refused
// up front rather than after earlier records went out.
TEST_F(TarRoad, RefusalsSendNothingAndSayWhy) {
  const Bytes data = payload(0, 1000), huge = payload(0, 4065);
  auto items = [&](size_t count) {
    return std::vector<Qor_Ethernet_Tar_Item_t>(count, Qor_Ethernet_Tar_Item_t{0, 0, 0, 1000, 0, data.data(), nullptr});
  };
  const Refusal cases[] = {
      {"RX flags 2 at index 6",
       [&](uint32_t p) {
         auto list = items(7);
         list[6].rxFlags = 2;
         return Qor_Ethernet_Tar_AddItems(p, kInstance, 7, list.data());
       },
       kUnknownFlag, "unknown RX flag in item with index 6"},
      {"TX flags 8 at index 5",
       [&](uint32_t p) {
         auto list = items(7);
         list[5].txFlags = 8;
         return Qor_Ethernet_Tar_AddItems_Udp6(p, kInstance, 7, list.data());
       },
       kUnknownFlag, "unknown TX flag in item with index 5"},
      {"an item larger than a record",
       [&](uint32_t p) {
         auto list = items(7);
         list[6] = {0, 0, 0, 4065, 0, huge.data(), nullptr};
         return Qor_Ethernet_Tar_AddItems_Tcp4(p, kInstance, 7, list.data());
       },
       kInvalidParameter, "item with index 6: 4077 bytes exceed the 4076 that a record holds"},
      {"an RX length that overfills the record",
       [&](uint32_t p) {
         auto list = items(2);
         list[1].rxLength = 3065;
         return Qor_Ethernet_Tar_AddItems(p, kInstance, 2, list.data());
       },
       kInvalidParameter, "item with index 1: 4077 bytes"},
      {"no TX data",
       [&](uint32_t p) {
         auto list = items(3);
         list[2].txData = nullptr;
         return Qor_Ethernet_Tar_AddItems(p, kInstance, 3, list.data());
       },
       kInvalidParameter, "'txData' of item with index 2 is NULL"},
      {"no RX data although expected",
       [&](uint32_t p) {
         auto list = items(3);
         list[1].rxFlags = 1;
         list[1].rxLength = 4;
         return Qor_Ethernet_Tar_AddItems(p, kInstance, 3, list.data());
       },
       kInvalidParameter, "'rxData' of item with index 1 is NULL"},
      {"no items", [](uint32_t p) { return Qor_Ethernet_Tar_AddItems(p, kInstance, 1, nullptr); }, kInvalidParameter,
       "'items' is NULL"},
      {"UDP over IPv4 flags 4",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_Config4_t c{0x04, 0, {}, {}, {}, 0, 0};
         return Qor_Ethernet_Tar_Config_Udp4(p, &c);
       },
       kUnknownFlag, nullptr},
      {"TCP over IPv6 flags 0x10",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_Config6_t c{0x10, 0, {}, {}, {}, 0, 0, 0};
         return Qor_Ethernet_Tar_Config_Tcp6(p, &c);
       },
       kUnknownFlag, nullptr},
      {"configuration reserved",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_Config4_t c{0, 0, {0, 0, 1}, {}, {}, 0, 0};
         return Qor_Ethernet_Tar_Config_Tcp4(p, &c);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"switching off with flags",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_ConfigOff_t c{1, 0, {}};
         return Qor_Ethernet_Tar_Config_Off(p, &c);
       },
       kUnknownFlag, nullptr},
      {"start mode 2",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_StartKey_t k{0, 2, {}};
         return Qor_Ethernet_Tar_Start(p, &k);
       },
       kUnknownMode, nullptr},
      {"start reserved",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_StartKey_t k{0, 0, {0, 1}};
         return Qor_Ethernet_Tar_Start(p, &k);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"stop reserved",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_Key_t k{0, {1, 0, 0}};
         return Qor_Ethernet_Tar_Stop(p, &k);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"no state",
       [](uint32_t p) {
         const Qor_Ethernet_Tar_Key_t k{0, {}};
         return Qor_Ethernet_Tar_GetState(p, &k, nullptr);
       },
       kInvalidParameter, "'state' is NULL"},
  };
  expectRefusals(port_, cases);
  const Qor_Ethernet_Tar_Key_t key{0, {}};
  EXPECT_EQ(Qor_Ethernet_Tar_Stop(open(2), &key), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
