// MDF4 recordings of bus traces read back by the independent checker: the bus-logging structure of CAN, LIN and
// FlexRay buses, every kind of record decoded field by field, events, split files, and files whose writing failed.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <random>

#include "bus_generator.hpp"
#include "mdf_file.hpp"
#include "mdf_files.hpp"

namespace MDF {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kStart = 1'000'000'000;

Bytes le(uint64_t value, size_t width) {
  Bytes bytes(width);
  for (size_t index = 0; index < width; ++index) bytes[index] = static_cast<uint8_t>(value >> (8 * index));
  return bytes;
}

// A trace record: the 28-byte head, then the bus item from record offset 28 on.
Bytes traceRecord(uint32_t busType, uint32_t channel, uint64_t time, const Bytes& item) {
  Bytes record = le(28 + item.size(), 4);
  for (const Bytes& part : {le(channel, 4), le(time, 8), le(0, 8), le(busType, 4), item}) {
    record.insert(record.end(), part.begin(), part.end());
  }
  return record;
}

Bytes canRecord(uint32_t channel, uint64_t time, uint32_t identifier, uint8_t flags, uint8_t dlc, const Bytes& data,
                uint8_t flags2 = 0) {
  Bytes item = le(time, 8);
  for (const Bytes& part : {le(identifier, 4), Bytes{flags, flags2, dlc, static_cast<uint8_t>(data.size())}, data}) {
    item.insert(item.end(), part.begin(), part.end());
  }
  return traceRecord(0, channel, time, item);
}

// LIN records are 48 bytes: status at 30, count at 32, identifier at 33, bytes from 35, bit time at 44.
Bytes linRecord(uint32_t channel, uint64_t time, uint16_t status, uint8_t identifier, const Bytes& bytes,
                uint32_t bitTime, uint8_t count = 0xFF) {
  Bytes item(20, 0);
  item[2] = static_cast<uint8_t>(status);
  item[3] = static_cast<uint8_t>(status >> 8);
  item[4] = count == 0xFF ? static_cast<uint8_t>(bytes.size()) : count;
  item[5] = identifier;
  std::copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min<size_t>(bytes.size(), 9)),
            item.begin() + 7);
  const Bytes bits = le(bitTime, 4);
  std::copy(bits.begin(), bits.end(), item.begin() + 16);
  return traceRecord(1, channel, time, item);
}

// FlexRay: entry length and type at 28, time at 32, then the bytes from record offset 40 on.
Bytes flexRayRecord(uint32_t channel, uint64_t time, uint16_t type, const Bytes& rest) {
  Bytes item = le(12 + rest.size(), 2);
  for (const Bytes& part : {le(type, 2), le(time, 8), rest}) item.insert(item.end(), part.begin(), part.end());
  return traceRecord(2, channel, time, item);
}

std::string hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
  return text.empty() ? "-" : text;
}

std::string number(uint64_t value) { return std::to_string(value); }

// A float as the checker prints it (the shortest text that reads back the same).
std::string real(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string printed(text, end);
  if (printed.find_first_of(".e") == std::string::npos) printed += ".0";
  return printed;
}

uint64_t littleEndian(const Bytes& bytes) {
  uint64_t value = 0;
  for (size_t index = bytes.size(); index-- > 0;) value = value << 8 | bytes[index];
  return value;
}

// The checker's line for record `index` of group `group`: the time, the bus channel, then the members.
std::string recordLine(size_t index, uint64_t time, const std::string& group, uint32_t busChannel,
                       const std::vector<std::pair<std::string, std::string>>& members) {
  std::string line = "RECORD " + number(index) + " t=" + number(time) + " " + group + ".BusChannel=" +
                     number(busChannel) + ".0";
  for (const auto& [name, value] : members) line += " " + group + "." + name + "=" + value;
  return line;
}

std::vector<std::string> recordsOf(const test::CheckedFile& checked, const std::string& group) {
  std::vector<std::string> found;
  for (const std::string& line : checked.starting("RECORD")) {
    if (line.find(" " + group + ".") != std::string::npos) found.push_back(line);
  }
  return found;
}

class MdfRecording : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories("/tmp/mdf"); }
};

TEST_F(MdfRecording, EveryKindOfBusRecordReadsBackFieldByField) {
  MdfFile file("/tmp/mdf/buses.mf4", kStart, 0);
  file.FileInformationHeader({"Ann <QA> & Co", "", "brake \"loop\"", "", "bench run"});
  ASSERT_TRUE(file.File_Open(kStart));
  ASSERT_TRUE(file.Bus_Add(3, Bus::Info::CAN));
  ASSERT_TRUE(file.Bus_Add(1, Bus::Info::LIN));
  ASSERT_TRUE(file.Bus_Add(2, Bus::Info::FlexRay));
  EXPECT_FALSE(file.Bus_Add(3, Bus::Info::CAN));
  EXPECT_FALSE(file.Bus_Add(4, 3)) << "Ethernet has no bus-logging structure here";
  file.Write();

  std::vector<std::string> can, canErrors, linFrames, linChecksum, linReceive, linSync, linTransmission, linWakeup,
      flxFrames, flxErrors, flxCycles, flxStates, flxSymbols;
  uint64_t time = kStart;
  const auto canFrame = [&](uint32_t identifier, uint8_t flags, uint8_t dlc, const Bytes& data,
                            std::vector<std::pair<std::string, std::string>> fields) {
    time += 1000;
    ASSERT_TRUE(file.Data_Insert(canRecord(3, time, identifier, flags, dlc, data)));
    can.push_back(recordLine(can.size(), time - kStart, "CAN_DataFrame", 3, fields));
  };
  Bytes fd(24);
  for (size_t index = 0; index < fd.size(); ++index) fd[index] = static_cast<uint8_t>(index);
  // Identifier, IDE, FlagsEx, Dir, EDL, BRS, ESI, r1, DLC, DataLength, DataBytes.
  canFrame(0x123, 0x02, 3, {1, 2, 3},
           {{"ID", "291"}, {"IDE", "0"}, {"FlagsEx", "64"}, {"Dir", "1(Tx)"}, {"EDL", "0"}, {"BRS", "0"},
            {"ESI", "0"}, {"r1", "0"}, {"DLC", "3"}, {"DataLength", "3"}, {"DataBytes", "010203"}});
  canFrame(0x1ABCDE, 0x01 | 0x08 | 0x20 | 0x40, 12, fd,
           {{"ID", number(0x801ABCDE)}, {"IDE", "1"}, {"FlagsEx", number(0x7000)}, {"Dir", "0(Rx)"}, {"EDL", "1"},
            {"BRS", "1"}, {"ESI", "1"}, {"r1", "0"}, {"DLC", "12"}, {"DataLength", "24"}, {"DataBytes", hex(fd)}});
  canFrame(0x7FF, 0, 12, Bytes(fd.begin(), fd.begin() + 12),
           {{"ID", "2047"}, {"IDE", "0"}, {"FlagsEx", "0"}, {"Dir", "0(Rx)"}, {"EDL", "0"}, {"BRS", "0"},
            {"ESI", "0"}, {"r1", "0"}, {"DLC", "12"}, {"DataLength", "8"},
            {"DataBytes", hex(Bytes(fd.begin(), fd.begin() + 8))}});
  canFrame(0x10, 0, 0, {},
           {{"ID", "16"}, {"IDE", "0"}, {"FlagsEx", "0"}, {"Dir", "0(Rx)"}, {"EDL", "0"}, {"BRS", "0"},
            {"ESI", "0"}, {"r1", "0"}, {"DLC", "0"}, {"DataLength", "0"}, {"DataBytes", "-"}});
  // A DLC of 8 over a record that carries 4 bytes: only the bytes that are there.
  canFrame(0x11, 0, 8, {9, 8, 7, 6},
           {{"ID", "17"}, {"IDE", "0"}, {"FlagsEx", "0"}, {"Dir", "0(Rx)"}, {"EDL", "0"}, {"BRS", "0"},
            {"ESI", "0"}, {"r1", "0"}, {"DLC", "8"}, {"DataLength", "4"}, {"DataBytes", "09080706"}});
  EXPECT_FALSE(file.Data_Insert(canRecord(3, time, 0, 0x10, 1, {0}))) << "a trigger mark is no frame";
  EXPECT_FALSE(file.Data_Insert(canRecord(9, time, 0, 0, 1, {0}))) << "no bus on channel 9";

  // Error-flag bytes 4 to 6 by error code, received then transmitted; codes 0 and 8 depend on the overrun bit.
  const std::vector<std::pair<Bytes, Bytes>> errorFlags{
      {{0xE1, 0xE1, 0x00}, {0xC1, 0xC1, 0x00}}, {{0xA1, 0xA1, 0x00}, {0x81, 0x81, 0x00}},
      {{0x61, 0x61, 0x00}, {0x41, 0x41, 0x00}}, {{0xE1, 0xE1, 0x01}, {0xC1, 0xC1, 0x01}},
      {{0x2D, 0x2D, 0x00}, {0x0D, 0x0D, 0x00}}, {{0x29, 0x29, 0x00}, {0x09, 0x09, 0x00}},
      {{0x30, 0x31, 0x01}, {0x10, 0x11, 0x01}}, {{0x21, 0x21, 0x00}, {0x01, 0x01, 0x00}},
      {{0xE1, 0xE1, 0x00}, {0xC1, 0xC1, 0x00}}};
  const std::pair<Bytes, Bytes> overrunFlags{{0x20, 0x22, 0x02}, {0x00, 0x02, 0x02}};
  for (uint8_t code = 0; code <= 8; ++code) {
    for (bool sent : {false, true}) {
      for (bool overrun : {false, true}) {
        time += 1000;
        const uint8_t flags = static_cast<uint8_t>((overrun ? 0x80 : 0x04) | (sent ? 0x02 : 0));
        ASSERT_TRUE(file.Data_Insert(canRecord(3, time, 0x55, flags, 1, {code})));
        const auto& table = (code == 0 || code == 8) && overrun ? overrunFlags : errorFlags[code];
        Bytes errorBytes{0x05, 0, 0, 0};
        for (uint8_t byte : sent ? table.second : table.first) errorBytes.push_back(byte);
        canErrors.push_back(recordLine(canErrors.size(), time - kStart, "CAN_ErrorFrame", 3,
                                       {{"ID", "85"}, {"IDE", "0"}, {"Dir", sent ? "1" : "0"},
                                        {"DLC", "0"}, {"DataLength", "0"}, {"DataBytes", "-"},
                                        {"ErrorFlags", number(littleEndian(errorBytes))}}));
      }
    }
  }

  const uint32_t bitTime = 8 * 52083;
  const std::string baud = real(1.0 / (52083 * 1e-9));
  const auto lin = [&](uint16_t status, uint8_t identifier, const Bytes& bytes, uint32_t bits = 8 * 52083,
                       uint8_t count = 0xFF) {
    time += 1000;
    return file.Data_Insert(linRecord(1, time, status, identifier, bytes, bits, count));
  };
  const auto sof = [&] { return number(time - kStart); };
  ASSERT_TRUE(lin(0, 0x12, {1, 2, 3, 0x55}));
  linFrames.push_back(recordLine(0, time - kStart, "LIN_Frame", 1,
                                 {{"ID", "18"}, {"ReceivedDataByteCount", "3"}, {"DataLength", "3"},
                                  {"DataBytes", "010203"}, {"Dir", "0"}, {"ChecksumModel", "1"},
                                  {"IsSimulated", "0"}, {"IsETF", "0"}, {"Checksum", "85"}, {"SOF", sof()},
                                  {"Baudrate", baud}}));
  ASSERT_TRUE(lin(0x40, 0x13, {0xAA}, 4));
  linFrames.push_back(recordLine(1, time - kStart, "LIN_Frame", 1,
                                 {{"ID", "19"}, {"ReceivedDataByteCount", "0"}, {"DataLength", "0"},
                                  {"DataBytes", "-"}, {"Dir", "1"}, {"ChecksumModel", "1"}, {"IsSimulated", "1"},
                                  {"IsETF", "0"}, {"Checksum", "170"}, {"SOF", sof()}, {"Baudrate", "0.0"}}));
  // A count above what the record holds: 8 data bytes at most, the checksum read inside the record.
  ASSERT_TRUE(lin(0, 0x14, {1, 2, 3, 4, 5, 6, 7, 8, 9}, bitTime, 200));
  linFrames.push_back(recordLine(2, time - kStart, "LIN_Frame", 1,
                                 {{"ID", "20"}, {"ReceivedDataByteCount", "8"}, {"DataLength", "8"},
                                  {"DataBytes", "0102030405060708"}, {"Dir", "0"}, {"ChecksumModel", "1"},
                                  {"IsSimulated", "0"}, {"IsETF", "0"}, {"Checksum", "9"}, {"SOF", sof()},
                                  {"Baudrate", baud}}));
  ASSERT_TRUE(lin(0x02 | 0x40, 0x21, {5, 6, 0x77}));
  linChecksum.push_back(recordLine(0, time - kStart, "LIN_ChecksumError", 1,
                                   {{"ID", "33"}, {"ReceivedDataByteCount", "2"}, {"DataLength", "2"},
                                    {"DataBytes", "0506"}, {"ChecksumModel", "3"}, {"IsSimulated", "1"},
                                    {"Dir", "1"}, {"Checksum", "119"}, {"SOF", sof()}, {"Baudrate", baud}}));
  ASSERT_TRUE(lin(0x01 | 0x02, 0x22, {7, 0x11})) << "bit 0 wins over bit 1";
  linReceive.push_back(recordLine(0, time - kStart, "LIN_ReceiveError", 1,
                                  {{"ID", "34"}, {"ReceivedDataByteCount", "1"}, {"DataLength", "1"},
                                   {"DataBytes", "07"}, {"ChecksumModel", "3"}, {"IsETF", "0"},
                                   {"IsShortError", "0"}, {"IsTimeoutDuringLenDet", "0"}, {"SOF", sof()},
                                   {"Baudrate", baud}, {"State", "3"}, {"Reason", "1"}}));
  ASSERT_TRUE(lin(0x04, 0, {}));
  linSync.push_back(recordLine(0, time - kStart, "LIN_SyncError", 1, {{"SOF", sof()}, {"Baudrate", baud}}));
  ASSERT_TRUE(lin(0x48 | 0x01, 0x23, {1, 2, 3, 4, 5}));
  linTransmission.push_back(recordLine(0, time - kStart, "LIN_TransmissionError", 1,
                                       {{"ID", "35"}, {"SpecifiedDataByteCount", "4"}, {"ChecksumModel", "1"},
                                        {"IsETF", "0"}, {"SOF", sof()}, {"Baudrate", baud}}));
  ASSERT_TRUE(lin(0x20, 0, {0x80}));
  linWakeup.push_back(recordLine(0, time - kStart, "LIN_Wakeup", 1,
                                 {{"SOF", sof()}, {"Baudrate", baud}, {"ReceivedByte", "0"}, {"LengthInfo", "0"},
                                  {"IsExternal", "1"}}));
  EXPECT_FALSE(lin(0x10, 0x24, {1})) << "an overrun mark without error bits is not written";

  const auto flexRay = [&](uint16_t type, const Bytes& rest) {
    time += 1000;
    return file.Data_Insert(flexRayRecord(2, time, type, rest));
  };
  // Selector, indicator, slot, cycle, payload words, header CRC, payload.
  ASSERT_TRUE(flexRay(1, {2, 0x06, 0x21, 0x00, 5, 2, 0x34, 0x12, 0x11, 0x22, 0x33, 0x44}));
  for (const char* channel : {"0(A)", "1(B)"}) {
    flxFrames.push_back(recordLine(flxFrames.size(), time - kStart, "FLX_Frame", 2,
                                   {{"InterfaceType", "0.0"}, {"ControllerID", "0.0"},
                                    {"ID", "33"}, {"Cycle", "5"}, {"FlxChannel", channel}, {"Dir", "0"},
                                    {"DataLength", "4"}, {"FrameFlags", number(0x00880011)}, {"NullFrameFlag", "1"},
                                    {"SyncFrameFlag", "0"}, {"StartUpFrameFlag", "0"},
                                    {"PayloadPreambleFlag", "1"}, {"HeaderCRC", number(0x1234)},
                                    {"PayloadLength", "2"}, {"DataBytes", "11223344"}}));
  }
  // 200 words announced, 3 carried: the frame keeps what the record holds.
  ASSERT_TRUE(flexRay(2, {0, 0x08, 0x05, 0x01, 63, 200, 0, 0, 1, 2, 3, 4, 5, 6}));
  flxFrames.push_back(recordLine(2, time - kStart, "FLX_Frame", 2,
                                 {{"InterfaceType", "0.0"}, {"ControllerID", "0.0"},
                                  {"ID", "261"}, {"Cycle", "63"}, {"FlxChannel", "0(A)"}, {"Dir", "1"},
                                  {"DataLength", "6"}, {"FrameFlags", number(0x00080004)}, {"NullFrameFlag", "0"},
                                  {"SyncFrameFlag", "1"}, {"StartUpFrameFlag", "0"}, {"PayloadPreambleFlag", "0"},
                                  {"HeaderCRC", "0"}, {"PayloadLength", "3"}, {"DataBytes", "010203040506"}}));
  ASSERT_TRUE(flexRay(9, {0, 0, 17, 2}));
  flxErrors.push_back(recordLine(0, time - kStart, "FLX_Error", 2,
                                 {{"InterfaceType", "5.0"}, {"Cycle", "17"},
                                  {"FlxChannelMask", "2"}, {"ErrorData", "050000000000040400000000000000000000"},
                                  {"ErrorType", "5(Controller error)"}}));
  ASSERT_TRUE(flexRay(3, {7}));
  flxCycles.push_back(recordLine(0, time - kStart, "FLX_StartCycle", 2,
                                 {{"InterfaceType", "5.0"}, {"Cycle", "7"}}));
  ASSERT_TRUE(flexRay(4, {3}));
  Bytes state(48);
  state[4] = 1;
  state[8] = 2;
  flxStates.push_back(recordLine(0, time - kStart, "FLX_State", 2,
                                 {{"InterfaceType", "5.0"}, {"Cycle", "0"},
                                  {"FlxChannelMask", "0"}, {"StateData", hex(state)}}));
  ASSERT_TRUE(flexRay(6, {1}));
  Bytes symbol(17);
  symbol[14] = 0x28;
  symbol[15] = 0xAA;
  flxSymbols.push_back(recordLine(0, time - kStart, "FLX_Symbol", 2,
                                  {{"InterfaceType", "5.0"}, {"Cycle", "0"},
                                   {"FlxChannelMask", "2"}, {"SymbolType", "3(WUS (Wakeup Symbol))"},
                                   {"SymbolData", hex(symbol)}, {"SymbolLength", "0"}}));
  EXPECT_FALSE(flexRay(5, {0}));
  EXPECT_FALSE(flexRay(11, {0}));

  EXPECT_TRUE(file.Event("Mark", 2, 0, kStart + 5000));
  EXPECT_FALSE(file.Event("None", 3, 0, kStart + 5000));
  EXPECT_FALSE(file.Event("Pause", 5, 1, kStart + 6000, 3, Bus::Info::CAN)) << "no interrupt is open";
  EXPECT_FALSE(file.Event("Pause", 4, 1, kStart + 6000, 9, Bus::Info::CAN)) << "no such bus";
  EXPECT_TRUE(file.Event("Pause", 4, 1, kStart + 6000, 3, Bus::Info::CAN));
  EXPECT_FALSE(file.Event("Pause", 4, 1, kStart + 6500, 3, Bus::Info::CAN)) << "an interrupt is open already";
  EXPECT_FALSE(file.Event("Resume", 5, 1, kStart + 7000, 9, Bus::Info::CAN));
  EXPECT_TRUE(file.Event("Resume", 5, 1, kStart + 7000, 3, Bus::Info::CAN)) << "the range is still open";
  EXPECT_EQ(file.Bus_Cycles(3, Bus::Info::CAN), can.size() + canErrors.size());
  EXPECT_EQ(file.Bus_Type(2, Bus::Info::FlexRay), uint32_t{Bus::Info::FlexRay});
  EXPECT_EQ(file.Bus_Type(2, Bus::Info::CAN), 4u);
  ASSERT_TRUE(file.File_Close(time));

  const auto checked = test::checkFile("/tmp/mdf/buses.mf4");
  ASSERT_EQ(checked.status, 0) << checked.all();
  EXPECT_EQ(checked.lines.front(), "ID MDF Qor_API 410 unfinalized=0,0");
  EXPECT_TRUE(checked.has("HD start=1000000000 comment=<HDcomment>|<TX>bench run</TX>|<common_properties>|"
                          "<e name=\"author\">Ann &lt;QA&gt; &amp; Co</e>|<e name=\"project\">brake &quot;loop&quot;"
                          "</e>|</common_properties>|</HDcomment>"))
      << checked.all();
  EXPECT_TRUE(checked.has("FH comment=<FHcomment><TX>created</TX><tool_id>Qor-API Trace DLL</tool_id><tool_vendor>"
                          "HESTOR electronic GmbH</tool_vendor></FHcomment>"));
  EXPECT_EQ(checked.starting("EVENT"),
            (std::vector<std::string>{
                "EVENT 0 type=0 range=1 cause=4 time=0 name=Begin of Recording parent=- rangeevent=- scopes=-",
                "EVENT 1 type=6 range=0 cause=0 time=5000 name=Mark parent=- rangeevent=- scopes=-",
                "EVENT 2 type=1 range=1 cause=1 time=6000 name=Pause parent=0 rangeevent=- scopes=CAN3,CAN3",
                "EVENT 3 type=1 range=2 cause=1 time=7000 name=Resume parent=0 rangeevent=2 scopes=CAN3,CAN3",
                "EVENT 4 type=0 range=2 cause=4 time=" + number(time - kStart) +
                    " name=End of Recording parent=- rangeevent=0 scopes=-"}));

  const std::vector<std::string> groups = checked.starting("GROUP");
  const std::vector<std::tuple<std::string, std::string, int, size_t, size_t>> expectedGroups{
      {"CAN3", "CAN_DataFrame", 2, 26, can.size()},          {"CAN3", "CAN_ErrorFrame", 2, 34, canErrors.size()},
      {"LIN1", "LIN_Frame", 3, 36, 3},                      {"LIN1", "LIN_ChecksumError", 3, 36, 1},
      {"LIN1", "LIN_ReceiveError", 3, 36, 1},               {"LIN1", "LIN_SyncError", 3, 24, 1},
      {"LIN1", "LIN_TransmissionError", 3, 27, 1},          {"LIN1", "LIN_Wakeup", 3, 26, 1},
      {"FLEX2", "FLX_Frame", 5, 27, 3},                     {"FLEX2", "FLX_Error", 5, 28, 1},
      {"FLEX2", "FLX_StartCycle", 5, 9, 1},                 {"FLEX2", "FLX_State", 5, 58, 1},
      {"FLEX2", "FLX_Symbol", 5, 27, 1}};
  ASSERT_EQ(groups.size(), expectedGroups.size()) << checked.all();
  for (size_t index = 0; index < groups.size(); ++index) {
    const auto& [bus, group, busType, bytes, cycles] = expectedGroups[index];
    const std::string channel = bus.substr(bus.size() - 1);
    EXPECT_EQ(groups[index], "GROUP " + number(index) + " acq=" + bus + " source=" + group + " sourcetype=2 bustype=" +
                                 number(busType) + " channelno=" + channel + " flags=6 separator=0x2e recordbytes=" +
                                 number(bytes) + " invalbytes=0 cycles=" + number(cycles));
  }
  EXPECT_EQ(recordsOf(checked, "CAN_DataFrame"), can);
  EXPECT_EQ(recordsOf(checked, "CAN_ErrorFrame"), canErrors);
  EXPECT_EQ(recordsOf(checked, "LIN_Frame"), linFrames);
  EXPECT_EQ(recordsOf(checked, "LIN_ChecksumError"), linChecksum);
  EXPECT_EQ(recordsOf(checked, "LIN_ReceiveError"), linReceive);
  EXPECT_EQ(recordsOf(checked, "LIN_SyncError"), linSync);
  EXPECT_EQ(recordsOf(checked, "LIN_TransmissionError"), linTransmission);
  EXPECT_EQ(recordsOf(checked, "LIN_Wakeup"), linWakeup);
  EXPECT_EQ(recordsOf(checked, "FLX_Frame"), flxFrames);
  EXPECT_EQ(recordsOf(checked, "FLX_Error"), flxErrors);
  EXPECT_EQ(recordsOf(checked, "FLX_StartCycle"), flxCycles);
  EXPECT_EQ(recordsOf(checked, "FLX_State"), flxStates);
  EXPECT_EQ(recordsOf(checked, "FLX_Symbol"), flxSymbols);
}

// The channel layout of one group, as the checker lists it: every member's place, width, types and conversion.
TEST_F(MdfRecording, TheCanDataFrameLayoutIsTheBusLoggingOne) {
  MdfFile file("/tmp/mdf/layout.mf4", kStart, 0);
  ASSERT_TRUE(file.File_Open(kStart));
  ASSERT_TRUE(file.Bus_Add(7, Bus::Info::CAN));
  ASSERT_TRUE(file.Bus_Add(8, Bus::Info::Test));
  file.Write();
  EXPECT_FALSE(file.Data_Insert(traceRecord(99, 8, kStart, Bytes(20)))) << "the test bus takes no records";
  ASSERT_TRUE(file.File_Close(kStart));
  const auto checked = test::checkFile("/tmp/mdf/layout.mf4");
  ASSERT_EQ(checked.status, 0) << checked.all();
  const std::vector<std::string> expected{
      "GROUP 0 acq=CAN7 source=CAN_DataFrame sourcetype=2 bustype=2 channelno=7 flags=6 separator=0x2e "
      "recordbytes=26 invalbytes=0 cycles=0",
      "CHANNEL t type=2 sync=1 dtype=0 bit=0.0 bits=64 flags=0x0 conv=linear(0.0,1e-09) unit=s",
      "CHANNEL CAN_DataFrame type=0 sync=0 dtype=10 bit=8.0 bits=144 flags=0x440",
      "  CHANNEL CAN_DataFrame.BusChannel type=6 sync=0 dtype=0 bit=8.0 bits=0 flags=0x440 conv=linear(7.0,0.0)",
      "  CHANNEL CAN_DataFrame.ID type=0 sync=0 dtype=0 bit=8.0 bits=32 flags=0x440",
      "  CHANNEL CAN_DataFrame.IDE type=0 sync=0 dtype=0 bit=11.7 bits=1 flags=0x440",
      "  CHANNEL CAN_DataFrame.FlagsEx type=0 sync=0 dtype=0 bit=12.0 bits=32 flags=0x440",
      "  CHANNEL CAN_DataFrame.Dir type=0 sync=0 dtype=0 bit=12.6 bits=1 flags=0x440 "
      "conv=table(0:Rx,1:Tx;default=None)",
      "  CHANNEL CAN_DataFrame.EDL type=0 sync=0 dtype=0 bit=13.4 bits=1 flags=0x440",
      "  CHANNEL CAN_DataFrame.BRS type=0 sync=0 dtype=0 bit=13.5 bits=1 flags=0x440",
      "  CHANNEL CAN_DataFrame.ESI type=0 sync=0 dtype=0 bit=13.6 bits=1 flags=0x440",
      "  CHANNEL CAN_DataFrame.r1 type=0 sync=0 dtype=0 bit=13.3 bits=1 flags=0x440",
      "  CHANNEL CAN_DataFrame.DLC type=0 sync=0 dtype=0 bit=16.0 bits=8 flags=0x440",
      "  CHANNEL CAN_DataFrame.DataLength type=0 sync=0 dtype=0 bit=17.0 bits=8 flags=0x440",
      "  CHANNEL CAN_DataFrame.DataBytes type=1 sync=0 dtype=10 bit=18.0 bits=64 flags=0x440"};
  const auto found = std::find(checked.lines.begin(), checked.lines.end(), expected.front());
  ASSERT_NE(found, checked.lines.end()) << checked.all();
  EXPECT_EQ(std::vector<std::string>(found, found + static_cast<ptrdiff_t>(expected.size())), expected);
  EXPECT_TRUE(checked.has("  CHANNEL CAN_DataFrame.DataBytes type=0 sync=0 dtype=10 bit=18.0 bits=64 flags=0x440"))
      << "the test bus's payload has a fixed length";
  EXPECT_EQ(checked.starting("GROUP").size(), 3u);
}

TEST_F(MdfRecording, AGroupBehindAParentThatIsNoHeaderOrDataGroupIsNotBuilt) {
  HDBLOCK header;
  FileStream stream;
  BusRoot root(&header, stream);
  CNBLOCK channel("x", 0, 0, 0, 0, 8);
  DGBLOCK* group = nullptr;
  CNBLOCK* frame = nullptr;
  EXPECT_FALSE(BusGenerator::Channel_CommonStructure(&group, &frame, root, &channel, "CAN_DataFrame", 1, "CAN1", 1, 2));
  EXPECT_EQ(group, nullptr);
  EXPECT_EQ(header.Links_Get(HDBLOCK::kLinkFirstDataGroup), nullptr);
  EXPECT_EQ(channel.Links_Get(0), nullptr);
}

// Random FlexRay payloads, which cannot be compressed, through files of about 2 MiB: every record stands stored,
// every file is complete and finalized with its own begin of recording and cycle counts, and the records come back
// in order across the files.
TEST_F(MdfRecording, ASplitRecordingKeepsEveryRecordInCompleteFiles) {
  std::filesystem::remove_all("/tmp/mdf/split");
  std::filesystem::create_directories("/tmp/mdf/split");
  MdfFile file("/tmp/mdf/split/log.v2.mf4", kStart, 4096);
  EXPECT_EQ(file.FileName(), "/tmp/mdf/split/log.v2.mf4");
  ASSERT_TRUE(file.File_Open(kStart));
  ASSERT_TRUE(file.Bus_Add(1, Bus::Info::FlexRay));
  file.Write();
  std::mt19937 random(3);
  std::vector<std::string> expected;
  constexpr uint32_t kRecords = 25'000;
  for (uint32_t index = 0; index < kRecords; ++index) {
    const uint8_t slot = static_cast<uint8_t>(index), cycle = index % 64;
    Bytes rest{0, 0, slot, 0, cycle, 127, 0x21, 0x43};
    Bytes payload(254);
    for (uint8_t& byte : payload) byte = static_cast<uint8_t>(random());
    rest.insert(rest.end(), payload.begin(), payload.end());
    const uint64_t time = kStart + 1000 * uint64_t{index};
    ASSERT_TRUE(file.Data_Insert(flexRayRecord(1, time, 1, rest))) << index;
    const std::string line = recordLine(0, time - kStart, "FLX_Frame", 1,
                                        {{"InterfaceType", "0.0"}, {"ControllerID", "0.0"}, {"ID", number(slot)},
                                         {"Cycle", number(cycle)}, {"FlxChannel", "0(A)"}, {"Dir", "0"},
                                         {"DataLength", "254"}, {"FrameFlags", number(0x00080000)},
                                         {"NullFrameFlag", "0"}, {"SyncFrameFlag", "0"}, {"StartUpFrameFlag", "0"},
                                         {"PayloadPreambleFlag", "0"}, {"HeaderCRC", number(0x4321)},
                                         {"PayloadLength", "127"}, {"DataBytes", hex(payload)}});
    expected.push_back(line.substr(line.find(' ', 7)));
  }
  ASSERT_TRUE(file.File_Close(kStart + 1000 * uint64_t{kRecords}));

  std::vector<std::string> names{"/tmp/mdf/split/log.v2.mf4"};
  while (std::filesystem::exists("/tmp/mdf/split/log.v2_" + number(names.size()) + ".mf4")) {
    names.push_back("/tmp/mdf/split/log.v2_" + number(names.size()) + ".mf4");
  }
  ASSERT_GE(names.size(), 3u);
  std::vector<std::string> records;
  for (const std::string& name : names) {
    const auto checked = test::checkFile(name);
    ASSERT_EQ(checked.status, 0) << name << "\n" << checked.all().substr(0, 3000);
    EXPECT_EQ(checked.lines.front(), "ID MDF Qor_API 410 unfinalized=0,0") << name;
    const auto events = checked.starting("EVENT");
    ASSERT_EQ(events.size(), 2u) << name;
    EXPECT_NE(events[0].find("name=Begin of Recording"), std::string::npos);
    EXPECT_NE(events[1].find("name=End of Recording parent=- rangeevent=0"), std::string::npos);
    const auto lines = checked.starting("RECORD");
    EXPECT_NE(checked.starting("GROUP 0 ").at(0).find(" cycles=" + number(lines.size())), std::string::npos);
    EXPECT_LE(std::filesystem::file_size(name), 2'097'153u + 2 * DataBlockDynamic::kCapacity) << name;
    for (const std::string& line : lines) records.push_back(line.substr(line.find(' ', 7)));
  }
  EXPECT_EQ(records, expected);
}

// Records from a device are untrusted: whatever their counts and lengths say, every field is read inside the record
// and the file keeps to the format, with as many records as the buses counted.
TEST_F(MdfRecording, RecordsOfAnyContentLeaveAFileThatKeepsToTheFormat) {
  MdfFile file("/tmp/mdf/random.mf4", kStart, 0);
  ASSERT_TRUE(file.File_Open(kStart));
  for (uint8_t busType : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) ASSERT_TRUE(file.Bus_Add(0, busType));
  file.Write();
  std::mt19937 random(17);
  size_t stored = 0;
  for (uint32_t index = 0; index < 20'000; ++index) {
    Bytes item(random() % 100);
    for (uint8_t& byte : item) byte = static_cast<uint8_t>(random());
    if (file.Data_Insert(traceRecord(random() % 4, 0, kStart + index, item))) ++stored;
  }
  EXPECT_GT(stored, 5'000u);
  const uint64_t cycles = file.Bus_Cycles(0, 0) + file.Bus_Cycles(0, 1) + file.Bus_Cycles(0, 2);
  ASSERT_TRUE(file.File_Close(kStart + 20'000));
  const auto checked = test::checkFile("/tmp/mdf/random.mf4");
  ASSERT_EQ(checked.status, 0) << checked.all().substr(0, 3000);
  EXPECT_EQ(checked.starting("RECORD").size(), cycles);
}

TEST_F(MdfRecording, AFileWhoseWritingFailedStaysMarkedUnfinalized) {
  MdfFile file("/tmp/mdf/failed.mf4", kStart, 0);
  ASSERT_TRUE(file.File_Open(kStart));
  ASSERT_TRUE(file.Bus_Add(1, Bus::Info::CAN));
  file.Write();
  ASSERT_TRUE(file.Data_Insert(canRecord(1, kStart + 10, 1, 0, 1, {1})));
  file.flush();
  const auto whileRecording = test::fileBytes("/tmp/mdf/failed.mf4");
  EXPECT_EQ(test::textAt(whileRecording, 0, 8), "UnFinMF ");
  EXPECT_EQ(test::at<uint16_t>(whileRecording, 60), MdfFile::kCycleCountsPending) << "cycle counts still to come";

  file.setstate(std::ios::badbit);
  EXPECT_FALSE(file.Data_Insert(canRecord(1, kStart + 20, 1, 0, 1, {1}))) << "a failed file takes no records";
  EXPECT_FALSE(file.File_Close(kStart + 30));
  const auto bytes = test::fileBytes("/tmp/mdf/failed.mf4");
  EXPECT_EQ(test::textAt(bytes, 0, 8), "UnFinMF ");

  MdfFile nowhere("/tmp/mdf/no/such/dir/x.mf4", kStart, 0);
  EXPECT_FALSE(nowhere.File_Open(kStart));
  EXPECT_FALSE(nowhere.File_Close(kStart));
}

TEST(MdfFileNames, TheBaseNameEndsBeforeTheLastDotOfTheFileNameAndLimitsCountIn64Bits) {
  struct Case {
    std::string given;
    std::string first;
  };
  for (const Case& row : {Case{"rec.v1.mf4", "rec.v1.mf4"}, {"log", "log.mf4"}, {"/tmp/a.b/log", "/tmp/a.b/log.mf4"},
                          {"/tmp/a.b/log.mf4", "/tmp/a.b/log.mf4"}}) {
    EXPECT_EQ(MdfFile(row.given, 0).FileName(), row.first) << row.given;
  }
  EXPECT_EQ(MdfFile("log.mf4", 0).File_MaxSize(), MdfFile::kDefaultMaxSize);
  EXPECT_EQ(MdfFile("log.mf4", 0, 0).File_MaxSize(), 0u);
  EXPECT_EQ(MdfFile("log.mf4", 0, 4096).File_MaxSize(), 2'097'153u);
  EXPECT_EQ(MdfFile("log.mf4", 0, 4'194'304).File_MaxSize(), 4'294'967'296u - 2'097'151)
      << "a product past 32 bits is no reason to stop splitting";
  MdfFile small("log.mf4", 0);
  small.File_SetMaxSize(2048);
  EXPECT_EQ(small.File_MaxSize(), 1u);
}

}  // namespace
}  // namespace MDF
