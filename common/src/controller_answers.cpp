#include "controller_answers.hpp"

#include <algorithm>
#include <array>
#include <cctype>

#include "qor_helpers.h"
#include "qor_kit/answer_reader.hpp"

namespace qor::common {
namespace {

// Codes of the values 1 to `count` of a feature kind or transceiver type: base + value - 1.
struct CodeRange {
  uint32_t base;
  uint8_t count;
};

std::optional<uint32_t> inRange(CodeRange range, uint8_t value) {
  if (value < 1 || value > range.count) return std::nullopt;
  return range.base + value - 1u;
}

// Qor_InterfaceType 1 to 16 onto the firmware's codes.
constexpr std::array<uint8_t, 17> kFirmwareInterfaceTypes = {0,  1,  17, 12, 2, 3,  4,  15, 18,
                                                             13, 21, 22, 20, 0, 24, 23, 25};

constexpr uint8_t kLinTransceiver = 2;
constexpr uint8_t kKLineTransceiver = 3;

// The firmware's LIN and K-Line interfaces share their hardware; the transceiver tells which one it is.
uint8_t correctedInterfaceType(uint32_t translated, bool transceiverValid, uint8_t transceiverType) {
  if (!transceiverValid) return static_cast<uint8_t>(translated);
  if (translated == QOR_INTERFACE_LIN && transceiverType == kKLineTransceiver) return QOR_INTERFACE_KLINE;
  if (translated == QOR_INTERFACE_KLINE && transceiverType == kLinTransceiver) return QOR_INTERFACE_LIN;
  return static_cast<uint8_t>(translated);
}

}  // namespace

uint32_t featureCode(uint8_t interfaceType, uint8_t kind, uint8_t value) {
  std::optional<uint32_t> code;
  switch (kind) {
    case 1:
      if (interfaceType == QOR_INTERFACE_CAN) code = inRange({0x10000, 5}, value);
      break;
    case 2:
      if (interfaceType == QOR_INTERFACE_CAN) {
        code = value == 1 ? std::optional<uint32_t>(0x20000) : inRange({0x200000, 6}, value);
      } else if (interfaceType == QOR_INTERFACE_LIN) {
        code = inRange({0x200100, 2}, value);
      } else if (interfaceType == QOR_INTERFACE_KLINE) {
        code = inRange({0x200200, 3}, value);
      }
      break;
    case 3:
      code = inRange({0x300000, 4}, value);
      break;
    case 4:
      code = inRange({0x400000, 3}, value);
      break;
    default:
      break;
  }
  return code.value_or(0);
}

uint16_t transceiverCode(uint8_t type, uint8_t subtype) {
  static constexpr std::array<CodeRange, 9> kByType = {{{0, 0},
                                                        {0x100, 13},
                                                        {0x200, 4},
                                                        {0x300, 2},
                                                        {0x400, 3},
                                                        {0x500, 3},
                                                        {0, 0},
                                                        {0, 0},
                                                        {0x600, 4}}};
  if (type >= kByType.size()) return 0;
  return static_cast<uint16_t>(inRange(kByType[type], subtype).value_or(0));
}

uint8_t firmwareInterfaceType(uint32_t interfaceType) {
  return interfaceType < kFirmwareInterfaceTypes.size() ? kFirmwareInterfaceTypes[interfaceType] : 0;
}

std::optional<uint32_t> firmwareYear(std::string_view versionText) {
  // "date: Mmm dd yyyy": the year starts 13 characters after the word.
  constexpr size_t kYearOffset = 13;
  constexpr size_t kMostDigits = 9;  // no overflow
  const size_t word = versionText.find("date:");
  if (word == std::string_view::npos || versionText.size() - word <= kYearOffset) return std::nullopt;
  const std::string_view rest = versionText.substr(word + kYearOffset, kMostDigits);
  uint32_t year = 0;
  size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
    year = year * 10 + static_cast<uint32_t>(rest[digits] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return year;
}

bool decodeControllerInfo(std::span<const uint8_t> answer, uint32_t hostInterfaceType,
                          Qor_Common_ControllerInfo_t& info) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kControllerAnswerHead)) return false;
  info = Qor_Common_ControllerInfo_t{};
  info.hostInterfaceType = hostInterfaceType;
  const uint8_t type = reader.u8(8);
  const uint8_t subtype = reader.u8(9);
  info.controllerType = type >= 1 && type <= 5 ? type : 0;
  info.controllerSubtype = subtype >= 1 && subtype <= 11 ? subtype : 0;
  info.bootLoaderRunning = reader.u8(4) & 1u;
  info.firstWord = reader.u32(0);
  info.secondWord = reader.u32(28);
  info.thirdWord = reader.u32(32);
  const uint32_t pairs = reader.itemsThatFit(reader.u32(36), kControllerAnswerHead, 2);
  for (uint32_t pair = 0; pair < pairs && info.interfaceCount < QOR_COMMON_MAX_INTERFACES; ++pair) {
    const size_t offset = kControllerAnswerHead + 2 * size_t{pair};
    const uint32_t interfaceType = Qor_Internal_TranslateInterfaceType_Fw2Api(reader.u8(offset));
    if (interfaceType == 0) continue;
    info.interfaces[info.interfaceCount++] = {static_cast<uint8_t>(interfaceType), reader.u8(offset + 1)};
  }
  return true;
}

bool decodeInterfaceInfo(std::span<const uint8_t> answer, Qor_Common_InterfaceInfo_t& info) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kInterfaceAnswerHead)) return false;
  info = Qor_Common_InterfaceInfo_t{};
  const uint8_t flags = reader.u8(8);
  const bool transceiverValid = (flags & 1u) != 0;
  const bool indexValid = (flags & 2u) != 0;
  info.interfaceType = correctedInterfaceType(Qor_Internal_TranslateInterfaceType_Fw2Api(reader.u8(0)),
                                              transceiverValid, reader.u8(14));
  info.indexValid = indexValid ? 1 : 0;
  info.index = indexValid ? reader.u8(1) : 0;
  info.interfaceWord = reader.u32(4);
  info.featureCount =
      std::min(reader.itemsThatFit(reader.u32(20), kInterfaceAnswerHead, 2), uint32_t{QOR_COMMON_MAX_FEATURES});
  for (uint32_t feature = 0; feature < info.featureCount; ++feature) {
    const size_t offset = kInterfaceAnswerHead + 2 * size_t{feature};
    info.features[feature] = featureCode(info.interfaceType, reader.u8(offset), reader.u8(offset + 1));
  }
  return true;
}

bool decodeTransceiverInfo(std::span<const uint8_t> answer, Qor_Common_TransceiverInfo_t& info) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kTransceiverAnswerHead)) return false;
  info = Qor_Common_TransceiverInfo_t{};
  info.count = static_cast<uint8_t>(reader.itemsThatFit(reader.u8(1), kTransceiverAnswerHead, 4));
  for (uint32_t entry = 0; entry < info.count; ++entry) {
    const size_t offset = kTransceiverAnswerHead + 4 * size_t{entry};
    info.transceivers[entry] = {reader.u8(offset), static_cast<uint8_t>(reader.u8(offset + 3) & 1u),
                                transceiverCode(reader.u8(offset + 1), reader.u8(offset + 2))};
  }
  return true;
}

std::optional<CurrentTransceiver> decodeCurrentTransceiver(std::span<const uint8_t> answer) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kCurrentTransceiverEnd)) return std::nullopt;
  CurrentTransceiver current{(reader.u8(8) & 1u) != 0, {}};
  current.record.channel = reader.u8(12);
  current.record.secondByte = reader.u8(13);
  current.record.code = transceiverCode(reader.u8(14), reader.u8(15));
  current.record.flag = reader.u8(16) & 1u;
  return current;
}

}  // namespace qor::common
