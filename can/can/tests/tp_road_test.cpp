// Transport-protocol channels from the library through the daemon to an emulated controller: every record
// byte-exact (0x81 configurations, 0x8E ISO 15765, 0x82/0x83 channels, 0x8A-0x8C broadcasts, 0x8D monitor filter),
// the refusals that send nothing, and the answers' decoding, synchronous and through both asynchronous triples.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "can_command_road.hpp"
#include "qor_can_tp.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

using emulator::Bytes;
using namespace std::chrono_literals;

constexpr uint8_t kConfig = 0x81, kGetChannel = 0x82, kFreeChannel = 0x83, kStart = 0x8A, kData = 0x8B, kStop = 0x8C,
                  kFilter = 0x8D, kIso15765 = 0x8E;
constexpr uint8_t kChannel = 7;
constexpr uint32_t kResponseBufferUndersized = 0x02020006;
constexpr uint32_t kUnknownAddressingFormat = 0x02020401, kUnknownApplicationType = 0x02020402,
                   kNoFreeChannel = 0x02020403;

Bytes counting(size_t count, uint8_t first) {
  Bytes bytes(count);
  for (size_t index = 0; index < count; ++index) bytes[index] = static_cast<uint8_t>(first + index);
  return bytes;
}

void fill(uint8_t* bytes, size_t count, uint8_t first) {
  const Bytes values = counting(count, first);
  std::memcpy(bytes, values.data(), count);
}

RecordBytes head(uint16_t protocol) { return std::move(RecordBytes().u8(kChannel).u16(protocol).u8(0)); }

Qor_Can_TpConfigIsoTp_t isoTp(uint32_t flags) {
  Qor_Can_TpConfigIsoTp_t config{};
  fill(config.bytes, 4, 0x01);
  fill(config.parameters, 16, 0x10);
  config.addressingFormat1 = 1;
  config.addressingFormat2 = 2;
  config.byte5 = 0x55;
  config.byte6 = 0x66;
  config.flags = flags;
  config.byte7 = 0x77;
  config.values[0] = 0x0A01;
  config.values[1] = 0x0A02;
  config.values[2] = 0x0A03;
  config.values[3] = 0x0A04;
  config.value5 = 0xB005;
  config.value6 = 0xB006;
  config.value7 = 0xC7;
  config.value8 = 0xC8;
  config.value9 = 0xC9;
  config.unused = 0xEE;
  return config;
}

// The ISO-TP record up to the values 1 to 4, then what the flags let out.
Bytes isoTpRecord(uint8_t flagBit0, uint8_t options, uint8_t extendedOptions, const Bytes& optional) {
  return RecordBytes()
      .bytes(head(3))
      .bytes(counting(4, 0x01))
      .bytes(counting(16, 0x10))
      .u8(1).u8(2).u8(0x55).u8(0x66)
      .u8(flagBit0).u8(0x77).u8(options).u8(extendedOptions)
      .u16(0x0A01).u16(0x0A02).u16(0x0A03).u16(0x0A04)
      .bytes(optional);
}

Qor_Can_TpConfigIso15765_t iso15765(uint32_t flags) {
  Qor_Can_TpConfigIso15765_t config{};
  config.flags = flags;
  fill(config.bytes, 4, 0x01);
  fill(config.parameters1, 16, 0x10);
  config.addressingFormat1 = 2;
  config.addressingFormat2 = 0;
  config.byte5 = 0x55;
  config.byte6 = 0x66;
  fill(config.parameters2, 16, 0x40);
  config.value1 = 0x11111111;
  config.value2 = 0x22222222;
  config.value3 = 0x33333333;
  config.byte7 = 0x77;
  config.byte8 = 0x88;
  config.byte9 = 0x99;
  config.unused = 0xEE;
  return config;
}

Bytes iso15765Record(uint8_t lowFlags, uint8_t highFlags) {
  return RecordBytes()
      .u8(3).u8(kChannel).u16(0).u8(6).zeros(3)
      .u8(lowFlags).u8(highFlags).u16(0)
      .bytes(counting(4, 0x01)).bytes(counting(16, 0x10))
      .u8(2).u8(0).u8(0x55).u8(0x66)
      .bytes(counting(16, 0x40))
      .u32(0x11111111).u32(0x22222222).u32(0x33333333)
      .u8(0x77).u8(0x88).u8(0x99).u8(0);
}

using TpRoad = CanCommandRoad;

TEST_F(TpRoad, ConfigurationsGoOutAsTheirProtocolsRecords) {
  Qor_Can_TpConfigTp16_t tp16{};
  tp16.byte1 = 0xA1;
  tp16.byte2 = 0xA2;
  tp16.byte3 = 0xA3;
  fill(tp16.parameters, 16, 0x20);
  tp16.value1 = 0x0101;
  tp16.value2 = 0x0202;
  tp16.value3 = 0x0303;
  tp16.value4 = 0x0404;
  Qor_Can_TpConfigTp20_t tp20{};
  tp20.byte1 = 0xB1;
  tp20.byte2 = 0xB2;
  tp20.byte3 = 0xB3;
  tp20.applicationType = 0x21;
  fill(tp20.parameters, 16, 0x30);
  tp20.value1 = 0x1234;
  tp20.value2 = 0x5678;
  Qor_Can_TpConfigGmLan_t gmLan{};
  fill(gmLan.bytes, 4, 0x01);
  gmLan.value1 = 0x11111111;
  gmLan.value2 = 0x22222222;
  gmLan.value3 = 0x33333333;
  gmLan.addressingFormat1 = 2;
  gmLan.addressingFormat2 = 1;
  gmLan.byte5 = 0x55;
  gmLan.byte6 = 0x66;
  gmLan.flag = 1;
  gmLan.byte7 = 0x77;
  gmLan.values[0] = 0x0404;
  gmLan.values[1] = 0x0505;
  gmLan.values[2] = 0x0606;
  gmLan.values[3] = 0x0707;
  gmLan.value8 = 0x88888888;
  Qor_Can_TpConfigJ1939_t j1939{};
  j1939.byte1 = 0xC1;
  j1939.byte2 = 0xC2;
  fill(j1939.parameters, 32, 0x50);
  j1939.value = 0xDEADBEEF;
  const Qor_Can_TpConfigIsoTp_t isoAll = isoTp(0x3FF);
  const Qor_Can_TpConfigIsoTp_t isoHigh = isoTp(0x100);
  const Qor_Can_TpConfigIsoTp_t isoBit7 = isoTp(0x80);
  const Qor_Can_TpConfigIsoTp_t isoNone = isoTp(0);
  const Qor_Can_TpConfigIsoTp_t isoBit9 = isoTp(0x200);
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes record;
  };
  const Case cases[] = {
      {"off: the head alone", [](uint32_t p) { return Qor_Can_Tp_Config_Off(p, kChannel); }, head(0)},
      {"TP 1.6: 32 bytes", [&](uint32_t p) { return Qor_Can_Tp_Config_Tp_1_6(p, kChannel, &tp16); },
       RecordBytes().bytes(head(1)).u8(0xA1).u8(0xA2).u8(0xA3).u8(0).bytes(counting(16, 0x20)).u16(0x0101)
           .u16(0x0202).u16(0x0303).u16(0x0404)},
      {"TP 2.0: 28 bytes", [&](uint32_t p) { return Qor_Can_Tp_Config_Tp_2_0(p, kChannel, &tp20); },
       RecordBytes().bytes(head(2)).u8(0xB1).u8(0xB2).u8(0xB3).u8(0x21).bytes(counting(16, 0x30)).u16(0x1234)
           .u16(0x5678)},
      {"GMLAN: 44 bytes", [&](uint32_t p) { return Qor_Can_Tp_Config_GmLan(p, kChannel, &gmLan); },
       RecordBytes().bytes(head(4)).bytes(counting(4, 0x01)).u32(0x11111111).u32(0x22222222).u32(0x33333333).u32(0)
           .u8(2).u8(1).u8(0x55).u8(0x66).u8(1).u8(0x77).u16(0).u16(0x0404).u16(0x0505).u16(0x0606).u16(0x0707)
           .u32(0x88888888)},
      {"J1939: 44 bytes", [&](uint32_t p) { return Qor_Can_Tp_Config_J1939(p, kChannel, &j1939); },
       RecordBytes().bytes(head(5)).u8(0xC1).u8(0xC2).u16(0).bytes(counting(32, 0x50)).u32(0xDEADBEEF)},
      {"ISO-TP all flags: every optional value", [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoAll); },
       isoTpRecord(1, 0xFF, 3, RecordBytes().u16(0xB005).u16(0xB006).u8(0xC7).u8(0xC8).u8(0xC9).u8(0))},
      {"ISO-TP flag bit 8: options 0x80, extended 1",
       [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoHigh); },
       isoTpRecord(0, 0x80, 1, RecordBytes().zeros(5).u8(0xC8).zeros(2))},
      {"ISO-TP flag bit 9: options 0x80, extended 2",
       [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoBit9); },
       isoTpRecord(0, 0x80, 2, RecordBytes().zeros(6).u8(0xC9).u8(0))},
      {"ISO-TP flag bit 7: options 0x40, no optional value",
       [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoBit7); },
       isoTpRecord(0, 0x40, 0, RecordBytes().zeros(8))},
      {"ISO-TP no flags: zeros from 40 whatever the record holds",
       [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoNone); },
       isoTpRecord(0, 0, 0, RecordBytes().zeros(8))},
  };
  for (const Case& c : cases) device_->expect(kConfig, c.record);
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << Qor_GetLastErrorDescription();
  EXPECT_EQ(requestsOf(kConfig), std::size(cases));
}

TEST_F(TpRoad, Iso15765GoesOutThroughItsOwnCommand) {
  struct Case {
    uint32_t flags;
    Bytes record;
  };
  const Case cases[] = {
      {0x0A5, iso15765Record(0xA5, 0)},
      {0x300, iso15765Record(0, 3)},
      {0x400, iso15765Record(0, 0x0C)},  // bit 10 sets bits 2 and 3 both
      {0x800, iso15765Record(0, 0)},     // bit 11 is accepted and not sent
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    const Qor_Can_TpConfigIso15765_t config = iso15765(c.flags);
    device_->expect(kIso15765, c.record).answer({3, kChannel, 0, 0});
    EXPECT_EQ(Qor_Can_Tp_Config_Iso15765(port_, kChannel, &config), 0u) << Qor_GetLastErrorDescription();
  }
  const Qor_Can_TpConfigIso15765_t config = iso15765(0);
  device_->expect(kIso15765, iso15765Record(0, 0)).fail(kFirmwareError, "channel busy");
  EXPECT_EQ(Qor_Can_Tp_Config_Iso15765(port_, kChannel, &config), kFirmwareError);
}

TEST_F(TpRoad, RefusedConfigurationsSendNothingAndSayWhy) {
  Qor_Can_TpConfigTp16_t tp16{};
  tp16.reserved = 1;
  Qor_Can_TpConfigTp20_t tp20{};
  tp20.applicationType = 0x22;
  Qor_Can_TpConfigIsoTp_t isoReserved = isoTp(0);
  isoReserved.reserved[0] = 1;
  isoReserved.reserved[1] = 1;
  const Qor_Can_TpConfigIsoTp_t isoFlags = isoTp(0x400);
  Qor_Can_TpConfigIsoTp_t isoFormat1 = isoTp(0);
  isoFormat1.addressingFormat1 = 3;
  isoFormat1.addressingFormat2 = 4;
  Qor_Can_TpConfigIsoTp_t isoFormat2 = isoTp(0);
  isoFormat2.addressingFormat2 = 9;
  Qor_Can_TpConfigGmLan_t gmReserved{};
  gmReserved.reserved[2] = 1;
  gmReserved.flag = 2;
  Qor_Can_TpConfigGmLan_t gmFlag{};
  gmFlag.flag = 2;
  gmFlag.addressingFormat1 = 3;
  Qor_Can_TpConfigGmLan_t gmFormat{};
  gmFormat.addressingFormat1 = 3;
  Qor_Can_TpConfigJ1939_t j1939Low{};
  j1939Low.reserved = 0x0001;
  Qor_Can_TpConfigJ1939_t j1939High{};
  j1939High.reserved = 0x0101;
  const Qor_Can_TpConfigIso15765_t isoFlags12 = iso15765(0x1000);
  Qor_Can_TpConfigIso15765_t isoFormat = iso15765(0);
  isoFormat.addressingFormat2 = 3;
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {"TP 1.6 reserved byte", [&](uint32_t p) { return Qor_Can_Tp_Config_Tp_1_6(p, kChannel, &tp16); },
       kInvalidParameter, " - Invalid reserved parameter byte: offset 3"},
      {"TP 2.0 application type 0x22", [&](uint32_t p) { return Qor_Can_Tp_Config_Tp_2_0(p, kChannel, &tp20); },
       kUnknownApplicationType, " - 34"},
      {"ISO-TP reserved 29 and 30: the highest",
       [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoReserved); }, kInvalidParameter,
       " - Invalid reserved parameter byte: offset 30"},
      {"ISO-TP flags 0x400", [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoFlags); },
       kUnknownFlag, " - 1024"},
      {"ISO-TP format 1 first", [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoFormat1); },
       kUnknownAddressingFormat, " - 3"},
      {"ISO-TP format 2", [&](uint32_t p) { return Qor_Can_Tp_Config_IsoTp(p, kChannel, &isoFormat2); },
       kUnknownAddressingFormat, " - 9"},
      {"GMLAN reserved before the flag", [&](uint32_t p) { return Qor_Can_Tp_Config_GmLan(p, kChannel, &gmReserved); },
       kInvalidParameter, " - Invalid reserved parameter byte: offset 27"},
      {"GMLAN flag before the format", [&](uint32_t p) { return Qor_Can_Tp_Config_GmLan(p, kChannel, &gmFlag); },
       kUnknownFlag, " - 2"},
      {"GMLAN format", [&](uint32_t p) { return Qor_Can_Tp_Config_GmLan(p, kChannel, &gmFormat); },
       kUnknownAddressingFormat, " - 3"},
      {"J1939 reserved low byte", [&](uint32_t p) { return Qor_Can_Tp_Config_J1939(p, kChannel, &j1939Low); },
       kInvalidParameter, " - Invalid reserved parameter byte: offset 2"},
      {"J1939 reserved high byte", [&](uint32_t p) { return Qor_Can_Tp_Config_J1939(p, kChannel, &j1939High); },
       kInvalidParameter, " - Invalid reserved parameter byte: offset 3"},
      {"ISO 15765 flags 0x1000", [&](uint32_t p) { return Qor_Can_Tp_Config_Iso15765(p, kChannel, &isoFlags12); },
       kUnknownFlag, ""},
      {"ISO 15765 format 2", [&](uint32_t p) { return Qor_Can_Tp_Config_Iso15765(p, kChannel, &isoFormat); },
       kUnknownMode, " - 'AddressingFormat' value is unknown"},
      {"no record", [](uint32_t p) { return Qor_Can_Tp_Config_GmLan(p, kChannel, nullptr); }, kInvalidParameter,
       "'config' is NULL"},
      {"no ISO 15765 record", [](uint32_t p) { return Qor_Can_Tp_Config_Iso15765(p, kChannel, nullptr); },
       kInvalidParameter, "'config' is NULL"},
  };
  for (const Case& c : cases) EXPECT_TRUE(failedWith(c.call(port_), c.code, c.text)) << c.name;
  EXPECT_EQ(requestsOf(kConfig) + requestsOf(kIso15765), 0u);
}

TEST_F(TpRoad, ChannelsAreRequestedReturnedAndFiltered) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t channel;
  };
  const Case cases[] = {
      {"a free channel", {1, 5}, 0, "", 5},
      {"none free: the channel is still set and the text is this call's", {0, 5}, kNoFreeChannel, "", 5},
      {"one byte", {1}, kInvalidResponseLength, " - 1", 0xEE},
  };
  for (const Case& c : cases) {
    device_->expect(kGetChannel, {}).answer(c.answer);
    uint8_t channel = 0xEE;
    // A failure recorded without a text of its own must not leave this one behind.
    ASSERT_TRUE(failedWith(Qor_Can_Tp_GetChannel(port_, nullptr), kInvalidParameter, "'channel' is NULL"));
    EXPECT_TRUE(failedWith(Qor_Can_Tp_GetChannel(port_, &channel), c.code, c.text)) << c.name;
    if (c.code != 0) {
      EXPECT_EQ(std::string(Qor_GetLastErrorDescription()).find("'channel' is NULL"), std::string::npos) << c.name;
    }
    EXPECT_EQ(channel, c.channel) << c.name;
  }

  device_->expect(kFreeChannel, {kChannel, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tp_FreeChannel(port_, kChannel), 0u) << Qor_GetLastErrorDescription();

  device_->expect(kFilter, {kChannel, 0, 0, 0, 1, 0, 0, 0}).answer({kChannel, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tp_SetMonitorFilter(port_, kChannel, 1), 0u) << Qor_GetLastErrorDescription();
  device_->expect(kFilter, {kChannel, 0, 0, 0, 0, 0, 0, 0}).answer({kChannel, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tp_SetMonitorFilter(port_, kChannel, 0), 0u) << Qor_GetLastErrorDescription();
  EXPECT_TRUE(failedWith(Qor_Can_Tp_SetMonitorFilter(port_, kChannel, 2), kUnknownMode, " - 2"));
  EXPECT_EQ(requestsOf(kFilter), 2u);
}

TEST_F(TpRoad, BroadcastsStartUpToTheParameterLengthAndStop) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u);
  const Bytes data = counting(parameterLength - 4, 0x01);
  device_->expect(kStart, RecordBytes().u8(kChannel).u8(2).u16(static_cast<uint16_t>(data.size())).bytes(data));
  EXPECT_EQ(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 2, data.data(), parameterLength - 4), 0u)
      << Qor_GetLastErrorDescription();
  device_->expect(kStart, {kChannel, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 0, nullptr, 0), 0u)
      << Qor_GetLastErrorDescription();

  const Bytes tooLong(parameterLength - 3);
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 3, tooLong.data(),
                                                                parameterLength - 3),
                         kInvalidDataLength));
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 0, nullptr, 0xFFFFFFFF),
                         kInvalidDataLength));
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 3, data.data(), 1), kUnknownMode,
                         " - 3"));
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_StartTransmission(port_, kChannel, 1, nullptr, 1), kInvalidParameter,
                         "'data' is NULL"));
  EXPECT_EQ(requestsOf(kStart), 2u);

  device_->expect(kStop, {kChannel, 0, 0, 0});
  EXPECT_EQ(Qor_Can_Tp_Broadcast_StopTransmission(port_, kChannel), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(TpRoad, BroadcastDataAreCopiedOnlyAsFarAsTheyArrivedAndFit) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t capacity;
    uint32_t code;
    const char* text;
    Bytes copied;  // the buffer's first bytes after the call
    uint32_t length;
  };
  const Bytes twelve = counting(12, 0x30);
  const Case cases[] = {
      {"twelve bytes", RecordBytes().u8(kChannel).u8(0).u16(12).bytes(twelve), 16, 0, "", twelve, 12},
      {"none", {kChannel, 0, 0, 0}, 16, 0, "", {0xEE}, 0},
      {"twelve into ten", RecordBytes().u8(kChannel).u8(0).u16(12).bytes(twelve), 10, kResponseBufferUndersized,
       " - Bytes needed: 12", {0xEE}, 10},
      {"a count beyond the answer: what arrived", RecordBytes().u8(kChannel).u8(0).u16(0xFFFF).bytes(counting(3, 1)),
       64, 0, "", counting(3, 1), 3},
      {"a head cut short", {kChannel, 0, 12}, 64, kInvalidResponseLength, " - 3", {0xEE}, 64},
  };
  for (const Case& c : cases) {
    device_->expect(kData, {kChannel, 0, 0, 0}).answer(c.answer);
    Bytes buffer(64, 0xEE);
    uint32_t length = c.capacity;
    EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_GetData(port_, kChannel, buffer.data(), &length), c.code, c.text))
        << c.name;
    EXPECT_EQ(length, c.length) << c.name;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(c.copied.size())), c.copied) << c.name;
    EXPECT_EQ(buffer[c.copied.size()], 0xEE) << c.name;
  }
  uint32_t length = 4;
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_GetData(port_, kChannel, nullptr, &length), kInvalidParameter,
                         "'buffer' is NULL"));
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_GetData(port_, kChannel, nullptr, nullptr), kInvalidParameter,
                         "'length' is NULL"));
}

Inbox gInbox;

void channelArrived(uint32_t, uint8_t channel) { gInbox.put("channel " + std::to_string(channel)); }
void dataArrived(uint32_t, uint8_t channel, const uint8_t* data, uint16_t n) {
  std::string entry = "data " + std::to_string(channel) + ":";
  for (uint16_t index = 0; index < n; ++index) entry += " " + std::to_string(data[index]);
  gInbox.put(entry);
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gInbox.put("error " + std::to_string(code) + " " + std::string(text, length));
}

std::string errorEntry(uint32_t code, const std::string& function) {
  return "error " + std::to_string(code) + " '" + function + "' error" + std::string(1, '\0');
}

TEST_F(TpRoad, AsynchronousAnswersReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_Can_Tp_GetChannel_Async_AddCallback(port_, channelArrived), 0u) << Qor_GetLastErrorDescription();
  ASSERT_EQ(Qor_Can_Tp_Broadcast_GetData_Async_AddCallback(port_, kChannel, dataArrived), 0u)
      << Qor_GetLastErrorDescription();
  EXPECT_TRUE(failedWith(Qor_Can_Tp_GetChannel_Async_AddCallback(port_, nullptr), kInvalidParameter));
  EXPECT_TRUE(failedWith(Qor_Can_Tp_Broadcast_GetData_Async_AddCallback(port_, kChannel, nullptr), kInvalidParameter));

  const std::vector<Bytes> channelAnswers = {{1, 9}, {0, 9}, {1}};
  for (const Bytes& answer : channelAnswers) device_->expect(kGetChannel, {}).answer(answer);
  const std::vector<Bytes> dataAnswers = {
      RecordBytes().u8(kChannel).u8(0).u16(2).bytes({0xA1, 0xA2}),
      RecordBytes().u8(kChannel).u8(0).u16(500).bytes({0xB1}),  // counts more than arrived
      {kChannel, 0, 2},
  };
  for (const Bytes& answer : dataAnswers) device_->expect(kData, {kChannel, 0, 0, 0}).answer(answer);
  size_t expected = 0;
  for (size_t index = 0; index < channelAnswers.size(); ++index) {
    ASSERT_EQ(Qor_Can_Tp_GetChannel_Async(port_), 0u) << Qor_GetLastErrorDescription();
    ASSERT_TRUE(gInbox.waitFor(++expected));
  }
  for (size_t index = 0; index < dataAnswers.size(); ++index) {
    ASSERT_EQ(Qor_Can_Tp_Broadcast_GetData_Async(port_, kChannel), 0u) << Qor_GetLastErrorDescription();
    ASSERT_TRUE(gInbox.waitFor(++expected));
  }
  EXPECT_EQ(gInbox.entries, (std::vector<std::string>{
                                "channel 9",
                                errorEntry(kNoFreeChannel, "Qor_Can_Tp_GetChannel_Async"),
                                errorEntry(kInvalidResponseLength, "Qor_Can_Tp_GetChannel_Async"),
                                "data 7: 161 162",
                                "data 7: 177",
                                errorEntry(kInvalidResponseLength, "Qor_Can_Tp_Broadcast_GetData_Async"),
                            }));
  EXPECT_EQ(Qor_Can_Tp_GetChannel_Async_RemoveCallback(port_), 0u) << Qor_GetLastErrorDescription();
  EXPECT_EQ(Qor_Can_Tp_Broadcast_GetData_Async_RemoveCallback(port_, kChannel), 0u) << Qor_GetLastErrorDescription();
}

TEST_F(TpRoad, EveryFunctionWantsACanInterface) {
  const uint32_t restBus = open(kRestBusInterface);
  uint8_t channel = 0;
  uint32_t length = 0;
  const Qor_Can_TpConfigIsoTp_t iso{};
  const std::function<uint32_t()> calls[] = {
      [&] { return Qor_Can_Tp_GetChannel(restBus, &channel); },
      [&] { return Qor_Can_Tp_GetChannel_Async(restBus); },
      [&] { return Qor_Can_Tp_GetChannel_Async_AddCallback(restBus, channelArrived); },
      [&] { return Qor_Can_Tp_GetChannel_Async_RemoveCallback(restBus); },
      [&] { return Qor_Can_Tp_FreeChannel(restBus, 1); },
      [&] { return Qor_Can_Tp_Config_Off(restBus, 1); },
      [&] { return Qor_Can_Tp_Config_IsoTp(restBus, 1, &iso); },
      [&] { return Qor_Can_Tp_Broadcast_StartTransmission(restBus, 1, 0, nullptr, 0); },
      [&] { return Qor_Can_Tp_Broadcast_StopTransmission(restBus, 1); },
      [&] { return Qor_Can_Tp_Broadcast_GetData(restBus, 1, nullptr, &length); },
      [&] { return Qor_Can_Tp_Broadcast_GetData_Async(restBus, 1); },
      [&] { return Qor_Can_Tp_Broadcast_GetData_Async_AddCallback(restBus, 1, dataArrived); },
      [&] { return Qor_Can_Tp_Broadcast_GetData_Async_RemoveCallback(restBus, 1); },
      [&] { return Qor_Can_Tp_SetMonitorFilter(restBus, 1, 0); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), kWrongInterfaceType);
}

}  // namespace
}  // namespace qor::test
