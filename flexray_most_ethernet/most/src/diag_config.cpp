// Configuring a diagnostic channel (command 0xA0, the kit's head): KW2000 over TP 2.0 with two words, UDS with
// keyword recognition with the kit's 36-byte record, or off.
#include <cstddef>

#include "most_library.hpp"
#include "qor_kit/diagnostic_config.hpp"
#include "qor_kit/reserved_offsets.hpp"
#include "qor_most_diag.h"

namespace qor::most {
namespace {

enum Protocol : uint8_t { kKw2000Tp20 = 1, kUdsKeywordRec = 2 };

constexpr size_t kHeadBytes = 12;
constexpr size_t kKw2000RecordBytes = 16;
constexpr size_t kOffRecordBytes = 4;

uint32_t checkCommandFlags(const kit::Call& call, uint32_t commandFlags) {
  if (commandFlags <= QOR_MOST_DIAG_COMMAND_FLAGS) return 0;
  return call.fail(kit::GeneralError::UnknownFlag, "Unknown CommandFlags: %u", commandFlags);
}

uint32_t configKw2000(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value, uint32_t commandFlags,
                      uint16_t firstWord, uint16_t secondWord) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = checkCommandFlags(call, commandFlags)) return code;
  if (mode > QOR_MOST_DIAG_MAX_MODE) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  const kit::DiagnosticHead head{channel, kKw2000Tp20, mode, value, commandFlags};
  if (mode == QOR_MOST_DIAG_MODE_HEAD_ONLY) {
    return call.send(kit::kDiagnosticConfigCommand, kit::diagnosticRecord(head, kHeadBytes));
  }
  kit::RecordWriter record = kit::diagnosticRecord(head, kKw2000RecordBytes);
  record.u16(firstWord).u16(secondWord);
  return call.send(kit::kDiagnosticConfigCommand, record);
}

uint32_t checkKeywordRecord(const kit::Call& call, const Qor_Most_Diag_KeywordRec_t& record) {
  if (record.keywordRecFlags > QOR_MOST_DIAG_MAX_KEYWORD_REC_FLAGS) {
    return call.fail(kit::GeneralError::UnknownFlag, "Unknown KeywordRecFlags: %u", record.keywordRecFlags);
  }
  if (kit::classifyTesterPresentMode(record.requestMode) != kit::TesterPresentMode::Accepted) {
    return call.fail(kit::GeneralError::UnknownMode, "Unknown RequestMode: %u", record.requestMode);
  }
  if (record.byteCount > QOR_MOST_DIAG_MAX_BYTE_COUNT) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", record.byteCount);
  }
  return 0;
}

uint32_t configUdsKeywordRec(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value,
                             uint32_t commandFlags, const Qor_Most_Diag_KeywordRec_t* record) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(record, "record")) return code;
  static constexpr size_t kReserved[] = {offsetof(Qor_Most_Diag_KeywordRec_t, reserved),
                                         offsetof(Qor_Most_Diag_KeywordRec_t, reserved) + 1};
  if (uint32_t code = kit::checkReservedOffsets(call, *record, kReserved)) return code;
  if (uint32_t code = checkCommandFlags(call, commandFlags)) return code;
  if (mode > QOR_MOST_DIAG_MAX_MODE) return call.fail(kit::GeneralError::UnknownMode, "Unknown Mode: %u", mode);
  const kit::DiagnosticHead head{channel, kUdsKeywordRec, mode, value, commandFlags};
  if (mode == QOR_MOST_DIAG_MODE_HEAD_ONLY) {
    return call.send(kit::kDiagnosticConfigCommand, kit::diagnosticRecord(head, kHeadBytes));
  }
  if (uint32_t code = checkKeywordRecord(call, *record)) return code;
  const kit::UdsSettings settings{record->keywordRecFlags, {record->words[0], record->words[1], record->words[2]},
                                  record->word, record->requestMode, record->byteCount, record->bytes};
  return call.send(kit::kDiagnosticConfigCommand, kit::udsRecord(head, settings));
}

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return kit::switchDiagnosticOff(call, channel, kOffRecordBytes);
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Diag_Config_Kw2000_Tp_2_0(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                            uint32_t commandFlags, uint16_t firstWord, uint16_t secondWord) try {
  return qor::most::configKw2000(Call(kMost, port), channel, mode, value, commandFlags, firstWord, secondWord);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Diag_Config_Uds_KeywordRec(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                             uint32_t commandFlags, const Qor_Most_Diag_KeywordRec_t* record) try {
  return qor::most::configUdsKeywordRec(Call(kMost, port), channel, mode, value, commandFlags, record);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Diag_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::most::configOff(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}
