// The firmware's answers about controller, interfaces and transceivers: tables of answers and the records they give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller_answers.hpp"

namespace qor::common {
namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(ControllerAnswers, FeatureCodes) {
  const struct {
    uint8_t interfaceType, kind, value;
    uint32_t code;
  } cases[] = {
      {QOR_INTERFACE_CAN, 1, 1, 0x10000},    {QOR_INTERFACE_CAN, 1, 5, 0x10004},
      {QOR_INTERFACE_CAN, 1, 6, 0},          {QOR_INTERFACE_CAN, 1, 0, 0},
      {QOR_INTERFACE_LIN, 1, 1, 0},          {QOR_INTERFACE_CAN, 2, 1, 0x20000},
      {QOR_INTERFACE_CAN, 2, 2, 0x200001},   {QOR_INTERFACE_CAN, 2, 6, 0x200005},
      {QOR_INTERFACE_CAN, 2, 7, 0},          {QOR_INTERFACE_LIN, 2, 1, 0x200100},
      {QOR_INTERFACE_LIN, 2, 2, 0x200101},   {QOR_INTERFACE_LIN, 2, 3, 0},
      {QOR_INTERFACE_KLINE, 2, 1, 0x200200}, {QOR_INTERFACE_KLINE, 2, 3, 0x200202},
      {QOR_INTERFACE_KLINE, 2, 4, 0},        {QOR_INTERFACE_IO, 2, 1, 0},
      {QOR_INTERFACE_IO, 3, 1, 0x300000},    {QOR_INTERFACE_CAN, 3, 4, 0x300003},
      {QOR_INTERFACE_CAN, 3, 5, 0},          {QOR_INTERFACE_LIN, 4, 1, 0x400000},
      {QOR_INTERFACE_IO, 4, 3, 0x400002},    {QOR_INTERFACE_IO, 4, 4, 0},
      {QOR_INTERFACE_CAN, 0, 1, 0},          {QOR_INTERFACE_CAN, 5, 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(featureCode(c.interfaceType, c.kind, c.value), c.code)
        << "type " << int{c.interfaceType} << " pair {" << int{c.kind} << ", " << int{c.value} << "}";
  }
}

TEST(ControllerAnswers, TransceiverCodes) {
  const struct {
    uint8_t type, subtype;
    uint16_t code;
  } cases[] = {
      {1, 1, 0x100}, {1, 13, 0x10C}, {1, 14, 0}, {1, 0, 0},     {2, 1, 0x200}, {2, 4, 0x203},
      {2, 5, 0},     {3, 1, 0x300},  {3, 2, 0x301}, {3, 3, 0},  {4, 3, 0x402}, {4, 4, 0},
      {5, 1, 0x500}, {5, 3, 0x502},  {5, 4, 0},     {8, 1, 0x600}, {8, 4, 0x603}, {8, 5, 0},
      {0, 1, 0},     {6, 1, 0},      {7, 1, 0},     {9, 1, 0},  {255, 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(transceiverCode(c.type, c.subtype), c.code) << "type " << int{c.type} << " subtype " << int{c.subtype};
  }
}

TEST(ControllerAnswers, FirmwareInterfaceTypes) {
  const uint8_t expected[] = {0, 1, 17, 12, 2, 3, 4, 15, 18, 13, 21, 22, 20, 0, 24, 23, 25, 0, 0};
  for (uint32_t type = 0; type < std::size(expected); ++type) {
    EXPECT_EQ(firmwareInterfaceType(type), expected[type]) << "interface type " << type;
  }
  EXPECT_EQ(firmwareInterfaceType(0xFFFFFFFF), 0);
}

TEST(ControllerAnswers, FirmwareYear) {
  const std::string tail = "date: Jan 01 2007";
  const struct {
    std::string_view text;
    std::optional<uint32_t> year;
  } cases[] = {
      {"Firmware 2.1 date: Jan 01 2007 build 7", 2007},
      {"date: Dec 31 2008", 2008},
      {"Firmware 2.1 without a date", std::nullopt},
      {"date: Jan 01 ", std::nullopt},
      {"date: Jan 01 x2008", std::nullopt},
      {"date:", std::nullopt},
      {"date: Jan 01 20", 20},
      {"date: Jan 01 99999999999999", 999999999},  // cut to nine digits
      // The text ends before the year: the bytes after it are not read.
      {std::string_view(tail).substr(0, 13), std::nullopt},
      {std::string_view(tail).substr(0, 15), 20},
  };
  for (const auto& c : cases) EXPECT_EQ(firmwareYear(c.text), c.year) << c.text;
}

// A controller answer: words, state, type and subtype, count and pairs.
Bytes controllerAnswer(uint8_t state, uint8_t type, uint8_t subtype, uint32_t count, const Bytes& pairs) {
  Bytes answer(kControllerAnswerHead, 0);
  putU32(answer, 0, 0x11223344);
  answer[4] = state;
  answer[8] = type;
  answer[9] = subtype;
  putU32(answer, 28, 0x55667788);
  putU32(answer, 32, 0x99AABBCC);
  putU32(answer, 36, count);
  answer.insert(answer.end(), pairs.begin(), pairs.end());
  return answer;
}

TEST(ControllerAnswers, ControllerInfo) {
  Qor_Common_ControllerInfo_t info;
  // Firmware type 5 has no interface type: skipped and not counted.
  ASSERT_TRUE(decodeControllerInfo(controllerAnswer(0x03, 5, 11, 3, {2, 1, 5, 2, 3, 3}), 58, info));
  EXPECT_EQ(info.hostInterfaceType, 58u);
  EXPECT_EQ(info.controllerType, 5);
  EXPECT_EQ(info.controllerSubtype, 11);
  EXPECT_EQ(info.bootLoaderRunning, 1);
  EXPECT_EQ(info.firstWord, 0x11223344u);
  EXPECT_EQ(info.secondWord, 0x55667788u);
  EXPECT_EQ(info.thirdWord, 0x99AABBCCu);
  ASSERT_EQ(info.interfaceCount, 2u);
  EXPECT_EQ(info.interfaces[0].interfaceType, QOR_INTERFACE_CAN);
  EXPECT_EQ(info.interfaces[0].interfaceNumber, 1);
  EXPECT_EQ(info.interfaces[1].interfaceType, QOR_INTERFACE_LIN);
  EXPECT_EQ(info.interfaces[1].interfaceNumber, 3);

  ASSERT_TRUE(decodeControllerInfo(controllerAnswer(0x02, 6, 12, 0, {}), 58, info));
  EXPECT_EQ(info.controllerType, 0);
  EXPECT_EQ(info.controllerSubtype, 0);
  EXPECT_EQ(info.bootLoaderRunning, 0);
  EXPECT_EQ(info.interfaceCount, 0u);

  EXPECT_FALSE(decodeControllerInfo(Bytes(kControllerAnswerHead - 1, 0), 58, info));
}

TEST(ControllerAnswers, InterfaceCountIsCutToTheAnswerAndTheRecord) {
  const struct {
    uint32_t count;
    size_t pairsSent;
    uint32_t entries;
  } cases[] = {
      {3, 3, 3},
      {1000, 3, 3},        // the bytes that arrived
      {0xFFFFFFFF, 1, 1},
      {600, 600, QOR_COMMON_MAX_INTERFACES},  // the record's room
      {2, 600, 2},
  };
  for (const auto& c : cases) {
    Bytes pairs;
    for (size_t i = 0; i < c.pairsSent; ++i) pairs.insert(pairs.end(), {2, static_cast<uint8_t>(i)});
    Qor_Common_ControllerInfo_t info;
    ASSERT_TRUE(decodeControllerInfo(controllerAnswer(0, 1, 1, c.count, pairs), 58, info));
    EXPECT_EQ(info.interfaceCount, c.entries) << "count " << c.count << ", pairs " << c.pairsSent;
  }
}

// An interface answer of 24 bytes and its feature pairs.
Bytes interfaceAnswer(uint8_t firmwareType, uint8_t index, uint8_t flags, uint8_t transceiverType, uint32_t count,
                      const Bytes& pairs) {
  Bytes answer(kInterfaceAnswerHead, 0);
  answer[0] = firmwareType;
  answer[1] = index;
  putU32(answer, 4, 0xCAFEF00D);
  answer[8] = flags;
  answer[14] = transceiverType;
  putU32(answer, 20, count);
  answer.insert(answer.end(), pairs.begin(), pairs.end());
  return answer;
}

constexpr uint8_t kFirmwareCan = 2, kFirmwareLin = 3, kFirmwareKLine = 4;
constexpr uint8_t kTransceiverValid = 1, kIndexValid = 2;

TEST(ControllerAnswers, InterfaceTypeFollowsTheTransceiver) {
  const struct {
    const char* name;
    uint8_t firmwareType, flags, transceiverType;
    uint8_t interfaceType;
  } cases[] = {
      {"LIN with a K-Line transceiver", kFirmwareLin, kTransceiverValid, 3, QOR_INTERFACE_KLINE},
      {"K-Line with a LIN transceiver", kFirmwareKLine, kTransceiverValid, 2, QOR_INTERFACE_LIN},
      {"LIN with a LIN transceiver", kFirmwareLin, kTransceiverValid, 2, QOR_INTERFACE_LIN},
      {"LIN, transceiver not valid", kFirmwareLin, 0, 3, QOR_INTERFACE_LIN},
      {"K-Line, transceiver not valid", kFirmwareKLine, kIndexValid, 2, QOR_INTERFACE_KLINE},
      {"CAN is never corrected", kFirmwareCan, kTransceiverValid, 3, QOR_INTERFACE_CAN},
      {"a firmware type without interface type", 5, kTransceiverValid, 3, 0},
  };
  for (const auto& c : cases) {
    Qor_Common_InterfaceInfo_t info;
    ASSERT_TRUE(decodeInterfaceInfo(interfaceAnswer(c.firmwareType, 0, c.flags, c.transceiverType, 0, {}), info));
    EXPECT_EQ(info.interfaceType, c.interfaceType) << c.name;
  }
}

TEST(ControllerAnswers, InterfaceInfo) {
  Qor_Common_InterfaceInfo_t info;
  ASSERT_TRUE(decodeInterfaceInfo(interfaceAnswer(kFirmwareCan, 7, kIndexValid, 0, 4, {2, 1, 1, 2, 9, 9, 3, 4}), info));
  EXPECT_EQ(info.interfaceType, QOR_INTERFACE_CAN);
  EXPECT_EQ(info.indexValid, 1);
  EXPECT_EQ(info.index, 7);
  EXPECT_EQ(info.interfaceWord, 0xCAFEF00Du);
  ASSERT_EQ(info.featureCount, 4u);
  EXPECT_EQ(info.features[0], 0x20000u);
  EXPECT_EQ(info.features[1], 0x10001u);
  EXPECT_EQ(info.features[2], 0u);  // a pair without a code still counts
  EXPECT_EQ(info.features[3], 0x300003u);

  ASSERT_TRUE(decodeInterfaceInfo(interfaceAnswer(kFirmwareCan, 7, 0, 0, 0, {}), info));
  EXPECT_EQ(info.indexValid, 0);
  EXPECT_EQ(info.index, 0);

  EXPECT_FALSE(decodeInterfaceInfo(Bytes(kInterfaceAnswerHead - 1, 0), info));
}

TEST(ControllerAnswers, FeatureCountIsCutToTheAnswerAndTheRecord) {
  const struct {
    uint32_t count;
    size_t pairsSent;
    uint32_t features;
  } cases[] = {
      {2, 2, 2}, {40, 2, 2}, {0xFFFFFFFF, 0, 0}, {40, 40, QOR_COMMON_MAX_FEATURES}, {32, 32, 32},
  };
  for (const auto& c : cases) {
    Bytes pairs;
    for (size_t i = 0; i < c.pairsSent; ++i) pairs.insert(pairs.end(), {3, 1});
    Qor_Common_InterfaceInfo_t info;
    ASSERT_TRUE(decodeInterfaceInfo(interfaceAnswer(kFirmwareCan, 0, 0, 0, c.count, pairs), info));
    EXPECT_EQ(info.featureCount, c.features) << "count " << c.count << ", pairs " << c.pairsSent;
    EXPECT_EQ(info.features[QOR_COMMON_MAX_FEATURES], 0u);
  }
}

TEST(ControllerAnswers, TransceiverInfo) {
  const struct {
    const char* name;
    Bytes answer;
    bool decoded;
    std::vector<Qor_Common_Transceiver_t> transceivers;
  } cases[] = {
      {"three transceivers",
       {2, 3, 0, 0, 1, 1, 2, 0xFF, 2, 3, 2, 0, 7, 8, 4, 1},
       true,
       {{1, 1, 0x101}, {2, 0, 0x301}, {7, 1, 0x603}}},
      {"a count beyond the records that arrived",
       {2, 5, 0, 0, 1, 1, 1, 0, 2, 6, 1, 0},
       true,
       {{1, 0, 0x100}, {2, 0, 0}}},
      {"a record cut short", {2, 2, 0, 0, 1, 1, 1, 0, 2, 6}, true, {{1, 0, 0x100}}},
      {"none", {2, 0, 0, 0}, true, {}},
      {"too short", {2, 1, 0}, false, {}},
  };
  for (const auto& c : cases) {
    Qor_Common_TransceiverInfo_t info;
    ASSERT_EQ(decodeTransceiverInfo(c.answer, info), c.decoded) << c.name;
    if (!c.decoded) continue;
    ASSERT_EQ(info.count, c.transceivers.size()) << c.name;
    for (size_t i = 0; i < c.transceivers.size(); ++i) {
      EXPECT_EQ(info.transceivers[i].channel, c.transceivers[i].channel) << c.name << " " << i;
      EXPECT_EQ(info.transceivers[i].flag, c.transceivers[i].flag) << c.name << " " << i;
      EXPECT_EQ(info.transceivers[i].code, c.transceivers[i].code) << c.name << " " << i;
    }
  }
}

TEST(ControllerAnswers, CurrentTransceiver) {
  Bytes answer(kInterfaceAnswerHead, 0);
  answer[8] = kTransceiverValid;
  answer[12] = 3;
  answer[13] = 0x44;
  answer[14] = 4;
  answer[15] = 2;
  answer[16] = 0xFE;
  auto current = decodeCurrentTransceiver(answer);
  ASSERT_TRUE(current);
  EXPECT_TRUE(current->valid);
  EXPECT_EQ(current->record.channel, 3);
  EXPECT_EQ(current->record.secondByte, 0x44);
  EXPECT_EQ(current->record.code, 0x401);
  EXPECT_EQ(current->record.flag, 0);

  answer[8] = kIndexValid;
  current = decodeCurrentTransceiver(answer);
  ASSERT_TRUE(current);
  EXPECT_FALSE(current->valid);

  EXPECT_FALSE(decodeCurrentTransceiver(Bytes(kCurrentTransceiverEnd - 1, 1)));
}

}  // namespace
}  // namespace qor::common
