// The transport-protocol channels of a MOST port, from the library through the daemon to an emulated controller:
// channels allocated, freed and reset, configurations byte-exact, broadcast data sent and read (synchronous and
// through the asynchronous triples), answers read only as far as they arrived, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "most_road.hpp"
#include "qor_most.h"
#include "qor_test/inbox.hpp"

namespace qor::test {
namespace {

constexpr uint8_t kTp = 0x81;
constexpr uint32_t kUnknownApplicationType = 0x02040401, kNoFreeChannel = 0x02040402;

// The head of every request and of the answer matched on it.
Record head(uint8_t selector, uint8_t channel) { return std::move(Record().u8(selector).u8(channel).u16(0)); }

// A broadcast data answer announcing `announced` bytes and carrying `data`.
Bytes dataAnswer(uint8_t channel, uint16_t announced, const Bytes& data) {
  return Record().bytes(head(5, channel)).u16(announced).u16(0).bytes(data);
}

Qor_Most_Tp_Config_Tp_2_0_t tp20(uint8_t applicationType) {
  Qor_Most_Tp_Config_Tp_2_0_t config{};
  config.settingBytes[0] = 0xA1;
  config.settingBytes[1] = 0xA2;
  config.settingBytes[2] = 0xA3;
  config.applicationType = applicationType;
  for (uint8_t i = 0; i < 16; ++i) config.parameters[i] = static_cast<uint8_t>(0x10 + i);
  config.timings[0] = 0x01010101;
  config.timings[1] = 0x02020202;
  config.timings[2] = 0x03030303;
  config.lastSetting = 0xA4;
  return config;
}

Qor_Most_Tp_Config_KeywordRec_t keyword(uint32_t flags) {
  Qor_Most_Tp_Config_KeywordRec_t config{};
  config.flags = flags;
  config.words[0] = 0x0101;
  config.words[1] = 0x0202;
  config.bytes[0] = 0xB0;
  config.bytes[1] = 0xB1;
  config.bytes[2] = 0xB2;
  config.bytes[3] = 0xB3;
  config.word = 0x0303;
  config.byte = 0xC0;
  config.value = 0x04040404;
  return config;
}

using MostTpRoad = MostRoad;

void channelArrived(uint32_t, uint8_t channel);
void dataArrived(uint32_t, uint8_t channel, const uint8_t* data, uint16_t length);

TEST_F(MostTpRoad, EveryCallWantsAMostPort) {
  const uint32_t canPort = open(2);
  const auto config20 = tp20(1);
  const auto configKeyword = keyword(0);
  uint8_t channel = 0, data[4] = {};
  uint32_t length = sizeof data;
  const PortCall calls[] = {
      [&](uint32_t p) { return Qor_Most_Tp_GetChannel(p, &channel); },
      [](uint32_t p) { return Qor_Most_Tp_GetChannel_Async(p); },
      [](uint32_t p) { return Qor_Most_Tp_GetChannel_Async_AddCallback(p, channelArrived); },
      [](uint32_t p) { return Qor_Most_Tp_GetChannel_Async_RemoveCallback(p); },
      [](uint32_t p) { return Qor_Most_Tp_FreeChannel(p, 0); },
      [](uint32_t p) { return Qor_Most_Tp_Reset(p, 0); },
      [](uint32_t p) { return Qor_Most_Tp_Config_Off(p, 0); },
      [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 0, &config20); },
      [&](uint32_t p) { return Qor_Most_Tp_Config_KeywordRec(p, 0, &configKeyword); },
      [&](uint32_t p) { return Qor_Most_Tp_Broadcast_StartTransmission(p, 0, 0, data, 1); },
      [&](uint32_t p) { return Qor_Most_Tp_Broadcast_GetData(p, 0, data, &length); },
      [](uint32_t p) { return Qor_Most_Tp_Broadcast_GetData_Async(p, 0); },
      [](uint32_t p) { return Qor_Most_Tp_Broadcast_GetData_Async_AddCallback(p, 0, dataArrived); },
      [](uint32_t p) { return Qor_Most_Tp_Broadcast_GetData_Async_RemoveCallback(p, 0); },
      [](uint32_t p) { return Qor_Most_Tp_Broadcast_StopTransmission(p, 0); },
  };
  expectEachWantsAMostPort(canPort, calls);
}

TEST_F(MostTpRoad, AChannelIsHandedOutOnlyWhenTheFirmwareHadOneFree) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t code;
    const char* text;
    uint8_t channel;
  } const cases[] = {
      {"a free channel", Record().bytes(head(0, 0)).u8(1).u8(7), 0, "", 7},
      {"none free", Record().bytes(head(0, 0)).u8(0).u8(9), kNoFreeChannel, "TP no free channel available", 0xEE},
      {"five bytes", Record().bytes(head(0, 0)).u8(1), kInvalidResponseLength, " - 5", 0xEE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(kTp, head(0, 0)).answer(c.answer);
    uint8_t channel = 0xEE;
    EXPECT_EQ(Qor_Most_Tp_GetChannel(port_, &channel), c.code) << lastError();
    EXPECT_NE(lastError().find(c.text), std::string::npos) << lastError();
    EXPECT_EQ(channel, c.channel);
  }
  EXPECT_EQ(Qor_Most_Tp_GetChannel(port_, nullptr), kInvalidParameter);
}

// Every record byte-exact; the answers of these requests are not examined.
TEST_F(MostTpRoad, ChannelRequestsAndConfigurationsGoOutAsTheirRecords) {
  const auto config20 = tp20(33);
  const auto configKeyword = keyword(1);
  Bytes parameters;
  for (uint8_t i = 0; i < 16; ++i) parameters.push_back(static_cast<uint8_t>(0x10 + i));
  struct Case {
    const char* name;
    std::function<uint32_t(uint32_t)> call;
    Bytes record;
  } const cases[] = {
      {"free", [](uint32_t p) { return Qor_Most_Tp_FreeChannel(p, 3); }, head(1, 3)},
      {"reset", [](uint32_t p) { return Qor_Most_Tp_Reset(p, 4); }, head(2, 4)},
      {"off: the head alone", [](uint32_t p) { return Qor_Most_Tp_Config_Off(p, 5); },
       Record().bytes(head(3, 5)).zeros(4)},
      {"TP 2.0: 44 bytes", [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 6, &config20); },
       Record().bytes(head(3, 6)).u8(1).zeros(3).u8(0xA1).u8(0xA2).u8(0xA3).u8(33).bytes(parameters).u32(0x01010101)
           .u32(0x02020202).u32(0x03030303).u8(0xA4).zeros(3)},
      {"keyword: 28 bytes", [&](uint32_t p) { return Qor_Most_Tp_Config_KeywordRec(p, 7, &configKeyword); },
       Record().bytes(head(3, 7)).u8(2).zeros(3).u32(1).u16(0x0101).u16(0x0202).u8(0xB0).u8(0xB1).u8(0xB2).u8(0xB3)
           .u16(0x0303).u8(0xC0).u8(0).u32(0x04040404)},
      {"broadcast stop", [](uint32_t p) { return Qor_Most_Tp_Broadcast_StopTransmission(p, 8); }, head(6, 8)},
  };
  for (const Case& c : cases) device_->expect(kTp, c.record).answer(Bytes(c.record.begin(), c.record.begin() + 2));
  for (const Case& c : cases) EXPECT_EQ(c.call(port_), 0u) << c.name << ": " << lastError();
}

TEST_F(MostTpRoad, RefusedConfigurationsSendNothingAndSayWhy) {
  auto reserved33And35 = tp20(2);
  reserved33And35.reserved[0] = 1;
  reserved33And35.reserved[2] = 1;
  auto reserved34 = tp20(1);
  reserved34.reserved[1] = 1;
  auto keywordReserved = keyword(2);
  keywordReserved.reserved = 1;
  const auto type2 = tp20(2), type0 = tp20(0);
  const auto flags2 = keyword(2);
  const Refusal cases[] = {
      {"TP 2.0: application type 2", [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 0, &type2); },
       kUnknownApplicationType, "2"},
      {"TP 2.0: application type 0", [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 0, &type0); },
       kUnknownApplicationType, "0"},
      {"TP 2.0: the highest reserved byte before the type",
       [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 0, &reserved33And35); }, kInvalidParameter,
       "Invalid reserved parameter byte: offset 35"},
      {"TP 2.0: reserved byte 34", [&](uint32_t p) { return Qor_Most_Tp_Config_Tp_2_0(p, 0, &reserved34); },
       kInvalidParameter, "Invalid reserved parameter byte: offset 34"},
      {"keyword: the reserved byte before the flags",
       [&](uint32_t p) { return Qor_Most_Tp_Config_KeywordRec(p, 0, &keywordReserved); }, kInvalidParameter,
       "Invalid reserved parameter byte: offset 15"},
      {"keyword: flags 2", [&](uint32_t p) { return Qor_Most_Tp_Config_KeywordRec(p, 0, &flags2); }, kUnknownFlag,
       "2"},
      {"keyword: no record", [](uint32_t p) { return Qor_Most_Tp_Config_KeywordRec(p, 0, nullptr); },
       kInvalidParameter, "'config' is NULL"},
  };
  expectRefusals(port_, cases);
}

// The length is checked against the port's maximum parameter length before the mode.
TEST_F(MostTpRoad, ABroadcastStartsWithAllItsDataInOneRecord) {
  uint32_t parameterLength = 0;
  ASSERT_EQ(Qor_GetParamSize(port_, &parameterLength), 0u) << lastError();
  const uint32_t longest = parameterLength - 8;
  const std::vector<uint8_t> data(longest + 1, 0x5A);
  device_->expect(kTp, Record().bytes(head(4, 2)).u8(3).u8(0).u16(longest).bytes(Bytes(longest, 0x5A)))
      .answer(head(4, 2));
  device_->expect(kTp, Record().bytes(head(4, 2)).u8(0).u8(0).u16(0)).answer(head(4, 2));
  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 3, data.data(), longest), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 0, nullptr, 0), 0u) << lastError();

  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 4, data.data(), longest + 1), kInvalidDataLength);
  EXPECT_NE(lastError().find(" - " + std::to_string(longest + 1)), std::string::npos) << lastError();
  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 0, data.data(), 0xFFFFFFFF), kInvalidDataLength);
  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 4, data.data(), 1), kUnknownMode);
  EXPECT_NE(lastError().find(" - 4"), std::string::npos) << lastError();
  EXPECT_EQ(Qor_Most_Tp_Broadcast_StartTransmission(port_, 2, 0, nullptr, 3), kInvalidParameter);
}

// Nothing of an answer is used beyond the bytes that arrived; data that do not fit are not written.
TEST_F(MostTpRoad, BroadcastDataAreReadOnlyAsFarAsTheyArrived) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t capacity;
    uint32_t code;
    const char* text;
    uint32_t length;
    Bytes data;
  } const cases[] = {
      {"three bytes", dataAnswer(3, 3, {1, 2, 3}), 3, 0, "", 3, {1, 2, 3, 0xEE}},
      {"none", dataAnswer(3, 0, {}), 4, 0, "", 0, {0xEE, 0xEE, 0xEE, 0xEE}},
      {"three bytes for a room of two", dataAnswer(3, 3, {1, 2, 3}), 2, kBufferUndersized, "Bytes needed: 3", 2,
       {0xEE, 0xEE, 0xEE, 0xEE}},
      {"five announced, three arrived", dataAnswer(3, 5, {1, 2, 3}), 4, kInvalidResponseLength, " - 11", 4,
       {0xEE, 0xEE, 0xEE, 0xEE}},
      {"seven bytes", Record().bytes(head(5, 3)).u16(0).u8(0), 4, kInvalidResponseLength, " - 7", 4,
       {0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_->expect(kTp, head(5, 3)).answer(c.answer);
    Bytes data(4, 0xEE);
    uint32_t length = c.capacity;
    EXPECT_EQ(Qor_Most_Tp_Broadcast_GetData(port_, 3, data.data(), &length), c.code) << lastError();
    EXPECT_NE(lastError().find(c.text), std::string::npos) << lastError();
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(data, c.data);
  }
  uint32_t length = 1;
  EXPECT_EQ(Qor_Most_Tp_Broadcast_GetData(port_, 3, nullptr, &length), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Tp_Broadcast_GetData(port_, 3, nullptr, nullptr), kInvalidParameter);
}

Inbox gArrivals;

void channelArrived(uint32_t, uint8_t channel) { gArrivals.put("channel " + std::to_string(channel)); }
void dataArrived(uint32_t, uint8_t channel, const uint8_t* data, uint16_t length) {
  std::string entry = "data " + std::to_string(channel) + ":";
  for (uint16_t i = 0; i < length; ++i) entry += " " + std::to_string(data[i]);
  gArrivals.put(entry);
}
void errorArrived(uint32_t, uint32_t code, const char* text, uint32_t length) {
  gArrivals.put("error " + std::to_string(code) + " " + std::string(text, length));
}

TEST_F(MostTpRoad, AsynchronousAnswersReachTheApplicationOrItsErrorCallback) {
  ASSERT_EQ(Qor_AsyncCommunication_Enable(port_, errorArrived), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Tp_GetChannel_Async_AddCallback(port_, nullptr), kInvalidParameter);
  EXPECT_EQ(Qor_Most_Tp_Broadcast_GetData_Async_AddCallback(port_, 3, nullptr), kInvalidParameter);
  ASSERT_EQ(Qor_Most_Tp_GetChannel_Async_AddCallback(port_, channelArrived), 0u) << lastError();
  ASSERT_EQ(Qor_Most_Tp_Broadcast_GetData_Async_AddCallback(port_, 3, dataArrived), 0u) << lastError();

  const std::string channelError = "'Qor_Most_Tp_GetChannel_Async' error" + std::string(1, '\0');
  const std::string dataError = "'Qor_Most_Tp_Broadcast_GetData_Async' error" + std::string(1, '\0');
  device_->expect(kTp, head(0, 0)).answer(Record().bytes(head(0, 0)).u8(1).u8(7));
  device_->expect(kTp, head(0, 0)).answer(Record().bytes(head(0, 0)).u8(0).u8(7));
  device_->expect(kTp, head(0, 0)).answer(Record().bytes(head(0, 0)).u8(1));
  device_->expect(kTp, head(5, 3)).answer(dataAnswer(3, 2, {0x41, 0x42}));
  device_->expect(kTp, head(5, 3)).answer(dataAnswer(3, 3, {0x41, 0x42}));
  const std::function<uint32_t()> requests[] = {
      [&] { return Qor_Most_Tp_GetChannel_Async(port_); },
      [&] { return Qor_Most_Tp_GetChannel_Async(port_); },
      [&] { return Qor_Most_Tp_GetChannel_Async(port_); },
      [&] { return Qor_Most_Tp_Broadcast_GetData_Async(port_, 3); },
      [&] { return Qor_Most_Tp_Broadcast_GetData_Async(port_, 3); },
  };
  for (size_t i = 0; i < std::size(requests); ++i) {
    ASSERT_EQ(requests[i](), 0u) << lastError();
    ASSERT_TRUE(gArrivals.waitFor(i + 1));
  }
  EXPECT_EQ(gArrivals.entries, (std::vector<std::string>{
                                   "channel 7",
                                   "error " + std::to_string(kNoFreeChannel) + " " + channelError,
                                   "error " + std::to_string(kInvalidResponseLength) + " " + channelError,
                                   "data 3: 65 66",
                                   "error " + std::to_string(kInvalidResponseLength) + " " + dataError,
                               }));
  EXPECT_EQ(Qor_Most_Tp_GetChannel_Async_RemoveCallback(port_), 0u) << lastError();
  EXPECT_EQ(Qor_Most_Tp_Broadcast_GetData_Async_RemoveCallback(port_, 3), 0u) << lastError();
}

}  // namespace
}  // namespace qor::test
