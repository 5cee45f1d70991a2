// The transmit FIFOs from the library through the daemon to an emulated Ethernet controller: configurations and
// writes byte-exact, writes cut by the parameter length and the free slots, and refusals that send nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "ethernet_frames.hpp"
#include "ethernet_road.hpp"
#include "qor_ethernet_tx_fifo.h"

namespace qor::test {
namespace {

constexpr uint8_t kTxFifo = 0x23;
constexpr uint32_t kFifo = 0x51;

Bytes freeSlotsAnswer(uint32_t freeSlots) { return Record().u32(2).u32(freeSlots); }
Bytes emptyWrite() { return Record().u32(2).u32(kFifo); }

// A write record of these frames.
Bytes writeOf(const std::vector<Bytes>& frames) {
  Record record;
  record.u32(2).u32(kFifo);
  for (const Bytes& frame : frames) record.u16(frame.size()).u16(0).bytes(frame);
  return record;
}

std::vector<Qor_Ethernet_TxFifo_Entry_t> entriesOf(const std::vector<Bytes>& frames) {
  std::vector<Qor_Ethernet_TxFifo_Entry_t> entries(frames.size());
  for (size_t index = 0; index < frames.size(); ++index) {
    entries[index].length = static_cast<uint16_t>(frames[index].size());
    entries[index].data = frames[index].data();
  }
  return entries;
}

std::vector<Bytes> framesOf(size_t count, uint16_t payloadBytes) {
  std::vector<Bytes> frames;
  for (size_t index = 0; index < count; ++index) frames.push_back(udpFrame(static_cast<uint8_t>(index), payloadBytes));
  return frames;
}

std::vector<Bytes> slice(const std::vector<Bytes>& frames, size_t first, size_t count) {
  return std::vector<Bytes>(frames.begin() + first, frames.begin() + first + count);
}

using TxFifoRoad = EthernetRoad;

const uint8_t kAddress1[16] = {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
const uint8_t kAddress2[16] = {0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};
const uint8_t kBlock[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

Bytes bytesOf(const uint8_t* data, size_t count) { return Bytes(data, data + count); }

// The configure record's head for these caller flags and type.
Record configureHead(uint32_t flag, uint8_t type) {
  return Record().u32(0).u32(flag).u32(0x11111111).u32(0x22222222).u16(0x3333).u8(type).u8(0);
}

Qor_Ethernet_TxFifo_ConfigHead_t head(uint32_t flags) { return {flags, 0x11111111, 0x22222222, 0x3333, 0}; }

TEST_F(TxFifoRoad, EachKindOfConfigurationGoesOutByteExact) {
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t, Qor_Ethernet_TxFifo_ConfigResult_t*)> call;
    Bytes record;
  };
  const Case cases[] = {
      {"raw",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         const Qor_Ethernet_TxFifo_Config_Raw_t c{head(1)};
         return Qor_Ethernet_TxFifo_Config_Raw(p, &c, r);
       },
       configureHead(1, 0)},
      {"ICMPv6 with the value",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         Qor_Ethernet_TxFifo_Config_Icmp6_t c{head(0x07), {}, {}, 0xA1A2A3A4};
         std::copy(kAddress1, kAddress1 + 16, c.address1);
         std::copy(kAddress2, kAddress2 + 16, c.address2);
         return Qor_Ethernet_TxFifo_Config_Icmp6(p, &c, r);
       },
       configureHead(1, 1).u8(0x03).zeros(3).bytes(bytesOf(kAddress1, 16)).bytes(bytesOf(kAddress2, 16)).u32(0xA1A2A3A4)},
      {"UDP over IPv6, every optional field",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         Qor_Ethernet_TxFifo_Config_Udp6_t c{head(0x3E), {}, {}, 30000, 30490, 0xB1B2B3B4, 0xC1, 0, 0xD1D2, {}};
         std::copy(kAddress1, kAddress1 + 16, c.address1);
         std::copy(kAddress2, kAddress2 + 16, c.address2);
         std::copy(kBlock, kBlock + 16, c.block);
         return Qor_Ethernet_TxFifo_Config_Udp6(p, &c, r);
       },
       configureHead(0, 2).u8(0x1F).zeros(3).bytes(bytesOf(kAddress1, 16)).bytes(bytesOf(kAddress2, 16))
           .u16(30000).u16(30490).u32(0xB1B2B3B4).u8(0xC1).u8(0).u16(0xD1D2).bytes(bytesOf(kBlock, 16))},
      {"UDP over IPv6, flag 3 alone: options bit 1, no optional field, the reserved byte unread",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         Qor_Ethernet_TxFifo_Config_Udp6_t c{head(0x08), {}, {}, 1, 2, 0xB1B2B3B4, 0xC1, 0, 0xD1D2, {}};
         std::copy(kBlock, kBlock + 16, c.block);
         return Qor_Ethernet_TxFifo_Config_Udp6(p, &c, r);
       },
       configureHead(0, 2).u8(0x02).zeros(3).zeros(32).u16(1).u16(2).zeros(24)},
      {"TCP over IPv6",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         Qor_Ethernet_TxFifo_Config_Tcp6_t c{head(0x0B), {}, {}, 7, 8, 0xE1E2E3E4};
         return Qor_Ethernet_TxFifo_Config_Tcp6(p, &c, r);
       },
       configureHead(1, 3).u8(0x05).zeros(3).zeros(32).u16(7).u16(8).u32(0)},
      {"UDP over IPv4, flags 0x10: options 0x08 and the u8 value at 16",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         const Qor_Ethernet_TxFifo_Config_Udp4_t c{head(0x10), {192, 168, 0, 1}, {192, 168, 0, 2}, 30000, 30490,
                                                   0x5A, 0, 0};
         return Qor_Ethernet_TxFifo_Config_Udp4(p, &c, r);
       },
       configureHead(0, 4).u8(0x08).zeros(3).bytes({192, 168, 0, 1}).bytes({192, 168, 0, 2}).u16(30000).u16(30490)
           .u8(0x5A).zeros(3)},
      {"TCP over IPv4",
       [](uint32_t p, Qor_Ethernet_TxFifo_ConfigResult_t* r) {
         const Qor_Ethernet_TxFifo_Config_Tcp4_t c{head(0x06), {10, 0, 0, 1}, {10, 0, 0, 2}, 80, 8080};
         return Qor_Ethernet_TxFifo_Config_Tcp4(p, &c, r);
       },
       configureHead(0, 5).u8(0x03).zeros(3).bytes({10, 0, 0, 1}).bytes({10, 0, 0, 2}).u16(80).u16(8080).u32(0)},
  };
  uint32_t fifo = 0x40;
  for (const Case& c : cases) {
    device_->expect(kTxFifo, c.record).answer(Record().u32(0).u32(fifo).u16(0x7788).u16(0));
    Qor_Ethernet_TxFifo_ConfigResult_t result{0, 0, 0xEEEE};
    EXPECT_EQ(c.call(port_, &result), 0u) << c.name << ": " << lastText();
    EXPECT_EQ(result.fifoId, fifo) << c.name;
    EXPECT_EQ(result.secondValue, 0x7788) << c.name;
    EXPECT_EQ(result.reserved, 0) << c.name;
    ++fifo;
  }

  const uint8_t protocol[] = {9, 8, 7};
  device_->expect(kTxFifo, configureHead(1, 4).bytes({9, 8, 7})).answer(Record().u32(0).u32(0x99).u16(0x1234));
  uint32_t fifoId = 0;
  uint16_t secondValue = 0;
  EXPECT_EQ(Qor_Ethernet_TxFifo_Config(port_, 1, 0x11111111, 0x22222222, 0x3333, Ethernet_TxFifo_Type_Udp4, 3,
                                       protocol, &fifoId, &secondValue),
            0u)
      << lastText();
  EXPECT_EQ(fifoId, 0x99u);
  EXPECT_EQ(secondValue, 0x1234);
}

TEST_F(TxFifoRoad, ConfigurationRefusalsSendNothingAndAShortAnswerWritesNothing) {
  Qor_Ethernet_TxFifo_ConfigResult_t result{0xEE, 0xEE, 0xEE};
  const Refusal cases[] = {
      {"UDP over IPv4 flags 0x20",
       [&](uint32_t p) {
         const Qor_Ethernet_TxFifo_Config_Udp4_t c{head(0x20), {}, {}, 0, 0, 0, 0, 0};
         return Qor_Ethernet_TxFifo_Config_Udp4(p, &c, &result);
       },
       kUnknownFlag, nullptr},
      {"raw flags 2",
       [&](uint32_t p) {
         const Qor_Ethernet_TxFifo_Config_Raw_t c{head(2)};
         return Qor_Ethernet_TxFifo_Config_Raw(p, &c, &result);
       },
       kUnknownFlag, nullptr},
      {"head reserved",
       [&](uint32_t p) {
         Qor_Ethernet_TxFifo_Config_Tcp4_t c{head(0), {}, {}, 0, 0};
         c.head.reserved = 1;
         return Qor_Ethernet_TxFifo_Config_Tcp4(p, &c, &result);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"UDP over IPv6 reserved byte with flag 5",
       [&](uint32_t p) {
         const Qor_Ethernet_TxFifo_Config_Udp6_t c{head(0x20), {}, {}, 0, 0, 0, 0, 1, 0, {}};
         return Qor_Ethernet_TxFifo_Config_Udp6(p, &c, &result);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"UDP over IPv4 reserved byte with flag 2",
       [&](uint32_t p) {
         const Qor_Ethernet_TxFifo_Config_Udp4_t c{head(0x04), {}, {}, 0, 0, 0, 1, 0};
         return Qor_Ethernet_TxFifo_Config_Udp4(p, &c, &result);
       },
       kInvalidParameter, "reserved bytes have to be zero"},
      {"no configuration", [&](uint32_t p) { return Qor_Ethernet_TxFifo_Config_Icmp6(p, nullptr, &result); },
       kInvalidParameter, "'config' is NULL"},
      {"unknown type",
       [&](uint32_t p) {
         uint32_t fifoId = 0;
         uint16_t second = 0;
         return Qor_Ethernet_TxFifo_Config(p, 0, 0, 0, 0, static_cast<Ethernet_Param_TxFifo_Type_t>(6), 0, nullptr,
                                           &fifoId, &second);
       },
       kInvalidParameter, "unknown FIFO type 6"},
  };
  expectRefusals(port_, cases);

  // The reserved byte of UDP over IPv6 counts only with flag bits 3 to 5.
  device_->expect(kTxFifo, configureHead(0, 2).u8(0x04).zeros(3).zeros(32).u16(0).u16(0).zeros(24))
      .answer(Record().u32(0).u32(3).u16(0));
  const Qor_Ethernet_TxFifo_Config_Udp6_t unread{head(0x04), {}, {}, 0, 0, 0, 0, 1, 0, {}};
  EXPECT_EQ(Qor_Ethernet_TxFifo_Config_Udp6(port_, &unread, &result), 0u) << lastText();

  device_->expect(kTxFifo, configureHead(1, 0)).answer(Record().u32(0).u32(0x77).u8(1));
  result = {0xEE, 0xEE, 0xEE};
  const Qor_Ethernet_TxFifo_Config_Raw_t raw{head(1)};
  EXPECT_EQ(Qor_Ethernet_TxFifo_Config_Raw(port_, &raw, &result), kInvalidParameter);
  EXPECT_TRUE(saysSo("response of 9 bytes, 10 expected")) << lastText();
  EXPECT_EQ(result.fifoId, 0xEEu);

  const uint32_t canPort = open(2);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Config_Raw(canPort, &raw, &result), kWrongInterfaceType);
}

TEST_F(TxFifoRoad, DeleteConnectDisconnectAndStateGoOutByteExact) {
  device_->expect(kTxFifo, Record().u32(1).u32(1).u32(kFifo)).answer(Record().u32(1));
  device_->expect(kTxFifo, Record().u32(3).u32(kFifo).u32(0)).answer(Record().u32(3));
  device_->expect(kTxFifo, Record().u32(4).u32(kFifo).u32(0)).answer(Record().u32(4));
  const Qor_Ethernet_TxFifo_DeleteKey_t deleteKey{1, kFifo};
  const Qor_Ethernet_TxFifo_Key_t key{0, kFifo};
  EXPECT_EQ(Qor_Ethernet_TxFifo_Delete(port_, &deleteKey), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_TxFifo_Connect(port_, &key), 0u) << lastText();
  EXPECT_EQ(Qor_Ethernet_TxFifo_Disconnect(port_, &key), 0u) << lastText();

  const struct {
    uint32_t firmware;
    uint8_t state;
  } states[] = {{0, 1}, {3, 4}, {4, 0}, {9, 0}};
  for (const auto& s : states) {
    device_->expect(kTxFifo, Record().u32(5).u32(kFifo).u32(0)).answer(Record().u32(5).u32(s.firmware));
    Qor_Ethernet_TxFifo_State_t state{0xEE, {0xEE, 0xEE, 0xEE}};
    EXPECT_EQ(Qor_Ethernet_TxFifo_GetState(port_, &key, &state), 0u) << lastText();
    EXPECT_EQ(state.state, s.state) << s.firmware;
    EXPECT_EQ(state.reserved[2], 0);
  }
  device_->expect(kTxFifo, Record().u32(5).u32(kFifo).u32(0)).answer(Record().u32(5).u16(3));
  Qor_Ethernet_TxFifo_State_t state{0xEE, {}};
  EXPECT_EQ(Qor_Ethernet_TxFifo_GetState(port_, &key, &state), kInvalidParameter);
  EXPECT_EQ(state.state, 0xEE);

  const Qor_Ethernet_TxFifo_DeleteKey_t deleteFlags{2, kFifo};
  const Qor_Ethernet_TxFifo_Key_t keyFlags{1, kFifo};
  EXPECT_EQ(Qor_Ethernet_TxFifo_Delete(port_, &deleteFlags), kUnknownFlag);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Connect(port_, &keyFlags), kUnknownFlag);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Disconnect(port_, &keyFlags), kUnknownFlag);
  EXPECT_EQ(Qor_Ethernet_TxFifo_GetState(port_, &keyFlags, &state), kUnknownFlag);
  EXPECT_EQ(Qor_Ethernet_TxFifo_GetState(port_, &key, nullptr), kInvalidParameter);
}

// Three free slots take three frames; the chunk's answer says none is left, so the library asks until one is.
TEST_F(TxFifoRoad, AWriteFollowsTheFreeSlotsEachAnswerReports) {
  const std::vector<Bytes> frames = framesOf(5, 18);
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(3));
  device_->expect(kTxFifo, writeOf(slice(frames, 0, 3))).answer(freeSlotsAnswer(0));
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(0));
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(4));
  device_->expect(kTxFifo, writeOf(slice(frames, 3, 2))).answer(freeSlotsAnswer(2));
  const std::vector<Qor_Ethernet_TxFifo_Entry_t> entries = entriesOf(frames);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, entries.data()), 0u) << lastText();

  // Nothing to write still waits for a slot, then reports the empty write's result.
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(6));
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(6));
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 0, nullptr), 0u) << lastText();

  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(0));
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(9));
  uint32_t freeSlots = 0;
  EXPECT_EQ(Qor_Ethernet_TxFifo_WaitForFreeSlots(port_, kFifo, &freeSlots), 0u) << lastText();
  EXPECT_EQ(freeSlots, 9u);
}

// 4084 - 8 bytes hold two full frames of 1514 bytes and their heads (2 x 1518), not three.
TEST_F(TxFifoRoad, FullSizeFramesGoTwoToAWrite) {
  const std::vector<Bytes> frames = framesOf(5, 1472);
  ASSERT_EQ(frames[0].size(), 1514u);
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(100));
  device_->expect(kTxFifo, writeOf(slice(frames, 0, 2))).answer(freeSlotsAnswer(98));
  device_->expect(kTxFifo, writeOf(slice(frames, 2, 2))).answer(freeSlotsAnswer(96));
  device_->expect(kTxFifo, writeOf(slice(frames, 4, 1))).answer(freeSlotsAnswer(95));
  const std::vector<Qor_Ethernet_TxFifo_Entry_t> entries = entriesOf(frames);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, entries.data()), 0u) << lastText();
}

// A bad entry anywhere in the call is found before the first chunk leaves, so nothing is queued twice on a retry; an
// entry that no write can hold is refused up front instead of failing after earlier chunks went out.
TEST_F(TxFifoRoad, WriteRefusalsSendNothing) {
  const std::vector<Bytes> frames = framesOf(5, 1472);
  std::vector<Qor_Ethernet_TxFifo_Entry_t> entries = entriesOf(frames);
  entries[4].reserved[5] = 1;
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, entries.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("reserved bytes in entry with index 4 are not zero")) << lastText();

  const Bytes huge = udpFrame(7, 4031);  // a jumbo frame of 4073 bytes
  entries = entriesOf(frames);
  entries[3].length = static_cast<uint16_t>(huge.size());
  entries[3].data = huge.data();
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, entries.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("entry with index 3: 4073 bytes exceed the 4072 that a write holds")) << lastText();

  entries = entriesOf(frames);
  entries[2].data = nullptr;
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, entries.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("'data' of entry with index 2 is NULL")) << lastText();

  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 1, kFifo, 5, entries.data()), kUnknownFlag);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 5, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_Ethernet_TxFifo_WaitForFreeSlots(port_, kFifo, nullptr), kInvalidParameter);

  // The largest entry that fits goes out alone.
  device_->expect(kTxFifo, emptyWrite()).answer(freeSlotsAnswer(1));
  const Bytes largestFrame = udpFrame(7, 4030);
  device_->expect(kTxFifo, writeOf({largestFrame})).answer(freeSlotsAnswer(0));
  const Qor_Ethernet_TxFifo_Entry_t largest{4072, {}, largestFrame.data()};
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 1, &largest), 0u) << lastText();
}

TEST_F(TxFifoRoad, AShortWriteAnswerIsRefused) {
  const std::vector<Bytes> frames = framesOf(1, 18);
  device_->expect(kTxFifo, emptyWrite()).answer(Record().u32(2).u16(1));
  const std::vector<Qor_Ethernet_TxFifo_Entry_t> entries = entriesOf(frames);
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 1, entries.data()), kInvalidParameter);
  EXPECT_TRUE(saysSo("response of 6 bytes, 8 expected")) << lastText();
}

// A FIFO that the firmware keeps full: each wait ends after its second with the last count asked, and what went
// out before stays queued.
TEST_F(TxFifoRoad, AFifoThatStaysFullEndsTheWaitAfterASecond) {
  uint32_t freeSlots = 2;
  uint32_t framesQueued = 0;
  device_->onCommand(kTxFifo, [&](const emulator::ReceivedFrame& frame) -> emulator::Reply {
    const auto parameters = frame.parameters();
    for (size_t offset = 8; offset + 4 <= parameters.size();
         offset += 4 + (parameters[offset] | parameters[offset + 1] << 8)) {
      ++framesQueued;
      --freeSlots;
    }
    return frame.response(freeSlotsAnswer(freeSlots));
  });
  const std::vector<Bytes> frames = framesOf(3, 18);
  const std::vector<Qor_Ethernet_TxFifo_Entry_t> entries = entriesOf(frames);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Qor_Ethernet_TxFifo_Write(port_, 0, kFifo, 3, entries.data()), kTxFifoError);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(saysSo("no free slots available")) << lastText();
  EXPECT_GE(took, std::chrono::milliseconds(1000));
  EXPECT_LT(took, std::chrono::milliseconds(3000)) << "the second and one poll, with room for a loaded machine";
  EXPECT_EQ(framesQueued, 2u);

  uint32_t lastCount = 0xEE;
  EXPECT_EQ(Qor_Ethernet_TxFifo_WaitForFreeSlots(port_, kFifo, &lastCount), kTxFifoError);
  EXPECT_EQ(lastCount, 0u);
}

}  // namespace
}  // namespace qor::test
