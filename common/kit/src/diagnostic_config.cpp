#include "qor_kit/diagnostic_config.hpp"

namespace qor::kit {

RecordWriter diagnosticRecord(const DiagnosticHead& head, size_t recordBytes) {
  RecordWriter record(recordBytes);
  record.u8(head.channel).u8(head.protocol).u8(head.mode).u8(0).u32(head.value).u32(head.commandFlags);
  return record;
}

RecordWriter udsRecord(const DiagnosticHead& head, const UdsSettings& settings) {
  RecordWriter record = diagnosticRecord(head, kUdsRecordBytes);
  record.u32(settings.flags).u16(settings.values[0]).u16(settings.values[1]).u16(settings.values[2]).u16(0);
  record.u16(settings.testerPresentValue).u8(settings.requestMode).u8(settings.length);
  record.bytes(settings.message, settings.length).zeros(record.room());
  return record;
}

TesterPresentMode classifyTesterPresentMode(uint8_t mode) {
  switch (mode) {
    case 0x00:
    case 0x01:
    case 0x80:
    case 0x81: return TesterPresentMode::Accepted;
    case 0x40:
    case 0x41:
    case 0xC0:
    case 0xC1: return TesterPresentMode::InvalidForConfiguration;
    default: return TesterPresentMode::Unknown;
  }
}

uint32_t checkTesterPresent(const Call& call, uint8_t mode, uint8_t length, const TesterPresentRefusals& refusals) {
  switch (classifyTesterPresentMode(mode)) {
    case TesterPresentMode::Accepted: break;
    case TesterPresentMode::InvalidForConfiguration:
      // The misspelling is kept: callers compare the text.
      return call.fail(refusals.invalid, "TesterPresent request mode is invalid for this configutation");
    case TesterPresentMode::Unknown:
      return call.fail(refusals.unknownMode, "TesterPresent request mode %u is unknown", mode);
  }
  if (length > kTesterPresentMessageBytes) return call.fail(refusals.invalid, "TesterPresent length > 8");
  return 0;
}

uint32_t switchDiagnosticOff(const Call& call, uint8_t channel, size_t recordBytes) {
  RecordWriter record(recordBytes);
  record.u8(channel).zeros(record.room());
  return call.send(kDiagnosticConfigCommand, record);
}

}  // namespace qor::kit
