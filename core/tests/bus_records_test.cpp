// The firmware records of the bus set-up byte by byte, the checks of their values, and the first-generation
// grabber's register writes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "open/bus_records.hpp"
#include "hex_bytes.hpp"

namespace {

using namespace qor::client;
using qor::test::hex;
using Bytes = std::vector<uint8_t>;

template <class Record>
Bytes bytesOf(const Record& record) {
  Bytes bytes(sizeof record);
  memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

template <class Record>
Bytes packed(Refusal refusal, const Record& record) {
  EXPECT_FALSE(refusal) << refusal.text;
  return bytesOf(record);
}

Bytes linNode(const LinSettings& settings) {
  Qor_Lin_NodeConfig_t config{};
  Qor_Lin_NodeConfig_Param_t record{};
  EXPECT_FALSE(linNodeConfig(settings, config));
  return packed(packLinNode(config, record), record);
}

TEST(BusRecords, GoldenBytes) {
  Qor_Can_InitInterface_Param_t can{};
  Qor_Lin_InitInterface_Param_t lin{};
  Qor_Lin_NodeConfig_Param_t node{};
  Qor_FlexRay_Init_Param_t flexRay{};
  Qor_Most_NodeProperties_Param_t most{};
  const struct {
    const char* name;
    std::function<Bytes()> pack;
    const char* bytes;
  } cases[] = {
      {"CAN mode 1, flags 0", [&] { return packed(packCanInit(1, 0, can), can); }, "00 01 00 00 01 00 00 00"},
      {"CAN without acknowledge, blinking, flag 2",
       [&] { return packed(packCanInit(2, 7, can), can); }, "00 02 01 01 00 00 00 00"},
      {"CAN FD mode 1", [&] { return packed(packCanInit(0, 8, can), can); }, "00 00 00 00 01 01 00 00"},
      {"CAN FD mode 4", [&] { return packed(packCanInit(0, 64, can), can); }, "00 00 00 00 01 04 00 00"},
      {"CAN baud rate 500000", [&] { return bytesOf(canBaudRateRecord(500000)); }, "03 00 00 00 20 A1 07 00 0*12"},
      {"LIN init, flags 5", [&] { return packed(packLinInit(5, lin), lin); }, "00 01 00 01"},
      // 13 bit times at 19200 baud: 13 x 52083 ns, 27083 ticks; one bit time: 2083 ticks.
      {"LIN master at 19200 baud", [&] { return linNode({19200, 1, 13, 1, 0, 0}); },
       "01 00 00 00 00 4B 00 00 CB 69 00 00 23 08 00 00 0*4 0*4 0*4 0*8"},
      {"LIN slave with detection at 0 baud", [&] { return linNode({0, 0, 13, 1, 1, 1}); },
       "00 01 00 00 0*4 0*12 01 00 00 00 0*4 0*8"},
      {"LIN slave from a caller's record",
       [&] {
         const Qor_Lin_NodeConfig_t config{QOR_LIN_NODE_SLAVE_TASK, 19200, {1, 2, 3}, 10417, {100, 49}};
         return packed(packLinNode(config, node), node);
       },
       "00 01 00 00 B1 28 00 00 0*12 00 00 00 00 B1 28 00 00 04 00 00 00 01 00 00 00"},
      {"LIN with both tasks: the slave's rate at 4",
       [&] {
         const Qor_Lin_NodeConfig_t config{3, 19200, {2500, 50, 75}, 9600, {0, 0}};
         return packed(packLinNode(config, node), node);
       },
       "01 01 00 00 80 25 00 00 64 00 00 00 02 00 00 00 03 00 00 00 00 00 00 00 80 25 00 00 0*8"},
      {"FlexRay single channel, controller type 1",
       [&] { return packed(packFlexRayInit(1, 1, 0, flexRay), flexRay); }, "0*4 01 00 00 00 66 85 01 00"},
      {"FlexRay controller type 0", [&] { return packed(packFlexRayInit(0, 0, 0, flexRay), flexRay); },
       "0*4 0*4 35 35 01 00"},
      {"MOST node", [&] { return packed(packMostNode(1, 2, 1, 0, 0x1234, 0xABCD, most), most); },
       "0*4 01 02 01 00 34 12 CD AB"},
      {"grabber mode 1 on channel 3", [&] { return bytesOf(grabber2ModeRecord(3, 1)); }, "00 03 00 00 10 00 01 00 01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.pack(), hex(c.bytes));
  }
}

Grabber1Settings grabberFromFile(const std::function<void(std::vector<uint32_t>&)>& change) {
  std::vector<uint32_t> values(kLvdsSettingCount, 0);
  change(values);
  Grabber1Settings settings{};
  const Refusal refusal =
      grabber1FromSettings(std::span<const uint32_t, kLvdsSettingCount>(values.data(), values.size()), settings);
  if (refusal) throw std::runtime_error(std::to_string(refusal.code) + " " + refusal.text);
  return settings;
}

TEST(BusRecords, RefusedValues) {
  Qor_Can_InitInterface_Param_t can{};
  Qor_Lin_InitInterface_Param_t lin{};
  Qor_Lin_NodeConfig_Param_t node{};
  Qor_Lin_NodeConfig_t config{};
  Qor_FlexRay_Init_Param_t flexRay{};
  Qor_Most_NodeProperties_Param_t most{};
  Qor_Lvds_FrameGrabber_Init_Parameters_t grabber{};
  const auto fromFile = [](size_t index, uint32_t value) {
    std::vector<uint32_t> values(kLvdsSettingCount, 0);
    values[index] = value;
    Grabber1Settings settings{};
    return grabber1FromSettings(std::span<const uint32_t, kLvdsSettingCount>(values.data(), values.size()), settings);
  };
  const struct {
    const char* name;
    std::function<Refusal()> check;
    uint32_t code;
    const char* text;
  } cases[] = {
      {"CAN mode 3", [&] { return packCanInit(3, 0, can); }, 0x2020005, "3"},
      {"CAN mode 256 from a file is not mode 0", [&] { return packCanInit(256, 4, can); }, 0x2020005, "256"},
      {"CAN flags 128", [&] { return packCanInit(0, 128, can); }, 0x2020004, "128"},
      {"CAN with two FD modes", [&] { return packCanInit(0, 0x18, can); }, 0x2020007,
       "only 1 CAN FD MODE flag may be set"},
      {"LIN init flags 8", [&] { return packLinInit(8, lin); }, 0x2050004, "unknown init interface flag"},
      {"LIN node flags 8", [&] { return packLinNode({8, 0, {}, 0, {}}, node); }, 0x2050004,
       "Node_Config2 unknown flag"},
      {"LIN master with detection", [&] { return packLinNode({5, 19200, {}, 0, {}}, node); }, 0x2050007,
       "no baudrate detection allowed while master task is enabled"},
      {"LIN slave without a rate", [&] { return packLinNode({2, 0, {}, 0, {}}, node); }, 0x2050007,
       "baudRate is zero"},
      {"LIN master at 0 baud", [&] { return linNodeConfig({0, 1, 13, 1, 0, 0}, config); }, 0x2050007,
       "baudRate is zero"},
      {"LIN break beyond a u32 of ns", [&] { return linNodeConfig({1000, 1, 4295, 1, 0, 0}, config); }, 0x2050007,
       "BreakTime of 4295 bit times at 1000 baud is longer than 4294967295 ns"},
      {"LIN delimiter beyond a u32 of ns", [&] { return linNodeConfig({1, 1, 4, 5, 0, 0}, config); }, 0x2050007,
       "BreakDelimiterTime of 5 bit times at 1 baud is longer than 4294967295 ns"},
      {"FlexRay controller type 257 is not type 1", [&] { return packFlexRayInit(0, 257, 0, flexRay); }, 0x2070007,
       "controller type '0x101' is unknown"},
      {"FlexRay controller type 2", [&] { return packFlexRayInit(0, 2, 0, flexRay); }, 0x2070007,
       "controller type '0x02' is unknown"},
      {"FlexRay transceiver type 1", [&] { return packFlexRayInit(0, 0, 1, flexRay); }, 0x2070007,
       "transceiver type '0x01' is unknown"},
      {"MOST clock mode 2", [&] { return packMostNode(2, 0, 0, 0, 0, 0, most); }, 0x2040005, "Unknown clockMode: 2"},
      {"MOST device mode 3", [&] { return packMostNode(0, 3, 0, 0, 0, 0, most); }, 0x2040005, "Unknown deviceMode: 3"},
      {"MOST network master mode 2", [&] { return packMostNode(0, 0, 2, 0, 0, 0, most); }, 0x2040005,
       "Unknown networkMasterMode: 2"},
      {"MOST logical node address mode 256", [&] { return packMostNode(0, 0, 0, 256, 0, 0, most); }, 0x2040005,
       "Unknown logicalNodeAddressMode: 256"},
      {"grabber colour bit 40", [&] { grabber.colourMap[5] = 40; return checkGrabber1(grabber); }, 0x2060005,
       "colour map entry 5 is 40: a bit from 0 to 31 or 255 expected"},
      {"grabber width 65536 in the file", [&] { return fromFile(0, 65536); }, 0x2060005,
       "'Width' is out of range: 65536"},
      {"grabber level 256 in the file", [&] { return fromFile(4, 256); }, 0x2060005,
       "'SignalLevelDataEnable' is out of range: 256"},
      {"grabber colour bit 32 in the file", [&] { return fromFile(8 + 4 * 3, 32); }, 0x2060005,
       "'Red3' is out of range: 32"},
      {"deserializer byte 256 in the file", [&] { return fromFile(43, 256); }, 0x2060005,
       "'DeserializerConfig3' is out of range: 256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Refusal refusal = c.check();
    EXPECT_EQ(refusal.code, c.code);
    EXPECT_EQ(refusal.text, c.text);
  }
}

TEST(BusRecords, LongestBreakThatFits) {
  Qor_Lin_NodeConfig_t config{};
  ASSERT_FALSE(linNodeConfig({1000, 1, 4294, 1, 0, 0}, config));
  EXPECT_EQ(config.masterTimesNs[0], 4294000000u);
  EXPECT_EQ(config.masterTimesNs[1], 1000000u);
}

TEST(Grabber1, RegisterWrites) {
  Qor_Lvds_FrameGrabber_Init_Parameters_t grabber{};
  grabber.width = 1280;
  grabber.height = 720;
  grabber.syncWidthHorizontal = 40;
  grabber.syncWidthVertical = 5;
  grabber.hSyncLevel = 1;
  grabber.dataEnableLevel = 1;
  grabber.clockEdge = 1;
  for (uint8_t i = 0; i < 24; ++i) grabber.colourMap[i] = i;
  memset(grabber.colourMap + 24, QOR_LVDS_COLOUR_UNUSED, 8);
  grabber.colourMap[26] = 24; // the data-enable source
  ASSERT_FALSE(checkGrabber1(grabber));
  EXPECT_EQ(grabber1Registers(grabber), (std::vector<RegisterWrite>{
                                            {2, 1},
                                            {16, 0x02D00500},
                                            {18, 0x00050028},
                                            {64, 0x23222120},
                                            {65, 0x27262524},
                                            {66, 0x2B2A2928},
                                            {67, 0x2F2E2D2C},
                                            {68, 0x33323130},
                                            {69, 0x37363534},
                                            {70, 0x00380000}, // unused entries are 0
                                            {71, 0},
                                            {73, 32},
                                            {3, 0x12D0000},
                                        }));
  grabber = {};
  memset(grabber.colourMap, QOR_LVDS_COLOUR_UNUSED, sizeof grabber.colourMap);
  grabber.vSyncLevel = 1;
  EXPECT_EQ(grabber1Registers(grabber).back(), (RegisterWrite{3, 0x1020000}));
  EXPECT_EQ(deserializerVector(1, 2, 3, 4), (RegisterWrite{80, 0x04030201}));
}

TEST(Grabber1, SettingsOfTheFile) {
  const auto& names = lvdsSettingNames();
  EXPECT_EQ(names[0], "Width");
  EXPECT_EQ(names[7], "ClockEdge");
  EXPECT_EQ(std::vector<std::string>(names.begin() + 8, names.begin() + 13),
            (std::vector<std::string>{"Red0", "Green0", "Blue0", "C0", "Red1"}));
  EXPECT_EQ(names[39], "C7");
  EXPECT_EQ(names[40], "DeserializerConfig0");
  EXPECT_EQ(names[43], "DeserializerConfig3");

  // Red<k> = 16 + k, Green<k> = 8 + k, Blue<k> = k, C<k> = 24 + k.
  const Grabber1Settings settings = grabberFromFile([](std::vector<uint32_t>& values) {
    const uint32_t head[] = {640, 480, 10, 2, 1, 0, 1, 1};
    std::copy(std::begin(head), std::end(head), values.begin());
    for (uint32_t k = 0; k < 8; ++k) {
      values[8 + 4 * k] = 16 + k;
      values[9 + 4 * k] = 8 + k;
      values[10 + 4 * k] = k;
      values[11 + 4 * k] = 24 + k;
    }
    values[40] = 9, values[41] = 8, values[42] = 7, values[43] = 6;
  });
  const Qor_Lvds_FrameGrabber_Init_Parameters_t& grabber = settings.grabber;
  EXPECT_EQ(std::vector<uint32_t>({grabber.width, grabber.height, grabber.syncWidthHorizontal,
                                   grabber.syncWidthVertical, grabber.dataEnableLevel, grabber.hSyncLevel,
                                   grabber.vSyncLevel, grabber.clockEdge}),
            std::vector<uint32_t>({640, 480, 10, 2, 1, 0, 1, 1}));
  Bytes expectedMap;
  for (uint8_t i = 0; i < 24; ++i) expectedMap.push_back(i); // blue, green, red
  for (uint8_t control : {26, 25, 24, 27, 28, 29, 30, 31}) expectedMap.push_back(control);
  EXPECT_EQ(Bytes(std::begin(grabber.colourMap), std::end(grabber.colourMap)), expectedMap);
  EXPECT_EQ(settings.deserializer, (std::array<uint8_t, 4>{9, 8, 7, 6}));
  // Unused colour entries pass.
  EXPECT_NO_THROW(grabberFromFile([](std::vector<uint32_t>& values) { values[8] = QOR_LVDS_COLOUR_UNUSED; }));
}

} // namespace
