// A transport-protocol channel's configuration (selector 3): an 8-byte head with the kind, then the kind's fields;
// TP 2.0 in 44 bytes, the keyword protocol in 28, off in the head alone.
#include <cstddef>

#include "most_library.hpp"
#include "qor_kit/reserved_offsets.hpp"
#include "qor_most_tp.h"
#include "tp_requests.hpp"

namespace qor::most {
namespace {

enum class Kind : uint8_t { Off = 0, Tp20 = 1, Keyword = 2 };

constexpr size_t kHeadBytes = 8;
constexpr size_t kTp20RecordBytes = 44;
constexpr size_t kKeywordRecordBytes = 28;

kit::RecordWriter configRecord(uint8_t channel, Kind kind, size_t recordBytes) {
  kit::RecordWriter record = tpRecord(TpSelector::Config, channel, recordBytes);
  record.u8(static_cast<uint8_t>(kind)).zeros(3);
  return record;
}

bool knownApplicationType(uint8_t type) {
  return type == QOR_MOST_TP_APPLICATION_TYPE_1 || type == QOR_MOST_TP_APPLICATION_TYPE_16 ||
         type == QOR_MOST_TP_APPLICATION_TYPE_32 || type == QOR_MOST_TP_APPLICATION_TYPE_33;
}

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return sendTpRecord(call, configRecord(channel, Kind::Off, kHeadBytes));
}

uint32_t configTp20(const kit::Call& call, uint8_t channel, const Qor_Most_Tp_Config_Tp_2_0_t* config) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {33, 34, 35};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  if (!knownApplicationType(config->applicationType)) {
    return call.fail(kMost.code(kTpUnknownApplicationType), "%u", config->applicationType);
  }
  kit::RecordWriter record = configRecord(channel, Kind::Tp20, kTp20RecordBytes);
  record.bytes(config->settingBytes, 3).u8(config->applicationType).bytes(config->parameters, 16);
  record.u32(config->timings[0]).u32(config->timings[1]).u32(config->timings[2]).u8(config->lastSetting).zeros(3);
  return sendTpRecord(call, record);
}

uint32_t configKeyword(const kit::Call& call, uint8_t channel, const Qor_Most_Tp_Config_KeywordRec_t* config) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {offsetof(Qor_Most_Tp_Config_KeywordRec_t, reserved)};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  if (config->flags > QOR_MOST_TP_MAX_KEYWORD_FLAGS) {
    return call.fail(kit::GeneralError::UnknownFlag, "%u", config->flags);
  }
  kit::RecordWriter record = configRecord(channel, Kind::Keyword, kKeywordRecordBytes);
  record.u32(config->flags).u16(config->words[0]).u16(config->words[1]).bytes(config->bytes, 4);
  record.u16(config->word).u8(config->byte).u8(0).u32(config->value);
  return sendTpRecord(call, record);
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Tp_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::most::configOff(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Config_Tp_2_0(uint32_t port, uint8_t channel, const Qor_Most_Tp_Config_Tp_2_0_t* config) try {
  return qor::most::configTp20(Call(kMost, port), channel, config);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Tp_Config_KeywordRec(uint32_t port, uint8_t channel,
                                       const Qor_Most_Tp_Config_KeywordRec_t* config) try {
  return qor::most::configKeyword(Call(kMost, port), channel, config);
} catch (...) {
  return kMost.failedCall(port);
}
