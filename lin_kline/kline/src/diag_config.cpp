#include "diag_records.hpp"
#include "kline_library.hpp"

namespace qor::kline {
namespace {

constexpr uint32_t kKw2000Flags = 0xFF;
constexpr uint32_t kKw1281Flags = 0x07;
constexpr uint32_t kIso9141Flags = 0x0F;
constexpr uint32_t kWBusFlags = 0x3F;

constexpr bool has(uint32_t flags, int bit) { return (flags >> bit & 1) != 0; }

uint32_t invalid(const kit::Call& call, const char* text) {
  return call.fail(kKLine.code(kInvalidParameter), "%s", text);
}

uint32_t send(const kit::Call& call, const DiagRecord& bytes) {
  kit::RecordWriter record(kDiagRecordSize);
  record.bytes(bytes);
  return call.send(kDiagConfigCommand, record);
}

// The checks every protocol begins with.
template <class Config>
uint32_t checkCall(const kit::Call& call, uint32_t flags, uint32_t allowed, const Config* config) {
  if (uint32_t code = checkKLine(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  return checkCommandFlags(call, flags, allowed);
}

uint32_t checkKw2000(const kit::Call& call, uint32_t flags, const Qor_KLine_DiagConfigKw2000_t& config) {
  if (uint32_t code = checkReserved(call, config.reserved3)) return code;
  if (has(flags, 5)) {
    if (config.testerPresentFlag > 1) {
      return call.fail(kKLine.code(kUnknownFlag), "tester present flag value '0x%02x' is unknown",
                       config.testerPresentFlag);
    }
    if (uint32_t code = checkReserved(call, config.reserved27)) return code;
  }
  if (config.InitMode > 1) return invalid(call, "InitMode is unknown");
  if (config.InitMode == 1) {
    if (uint32_t code = checkReserved(call, config.reserved54)) return code;
  } else if (has(flags, 6)) {
    if (uint32_t code = checkReserved(call, config.reserved30)) return code;
    if (config.slowInitParity > 1) return invalid(call, "init slow: parity value is unknown");
  }
  if (has(flags, 7)) return checkReserved(call, config.reserved94);
  return 0;
}

uint32_t configKw2000(const kit::Call& call, uint8_t channel, uint32_t flags,
                      const Qor_KLine_DiagConfigKw2000_t* config) {
  if (uint32_t code = checkCall(call, flags, kKw2000Flags, config)) return code;
  if (uint32_t code = checkKw2000(call, flags, *config)) return code;
  return send(call, kw2000Record(channel, flags, *config));
}

uint32_t configKw1281(const kit::Call& call, uint8_t channel, uint32_t flags,
                      const Qor_KLine_DiagConfigKw1281_t* config) {
  if (uint32_t code = checkCall(call, flags, kKw1281Flags, config)) return code;
  if (uint32_t code = checkReserved(call, config->reserved1 | config->reserved2)) return code;
  if (has(flags, 1)) {
    if (uint32_t code = checkReserved(call, config->reserved17 | config->reserved18)) return code;
    if (config->parity > 1) return invalid(call, "init: parity value is unknown");
  }
  return send(call, kw1281Record(channel, flags, *config));
}

uint32_t configIso9141(const kit::Call& call, uint8_t channel, uint32_t flags,
                       const Qor_KLine_DiagConfigIso9141Ford_t* config) {
  if (uint32_t code = checkCall(call, flags, kIso9141Flags, config)) return code;
  if (uint32_t code = checkReserved(call, config->reserved2)) return code;
  if (has(flags, 3)) {
    if (uint32_t code = checkReserved(call, config->reserved22)) return code;
  }
  return send(call, iso9141Record(channel, flags, *config));
}

uint32_t configWBus(const kit::Call& call, uint8_t channel, uint32_t flags, const Qor_KLine_DiagConfigWBus_t* config) {
  if (uint32_t code = checkCall(call, flags, kWBusFlags, config)) return code;
  if (uint32_t code = checkReserved(call, config->reserved3)) return code;
  if (has(flags, 5) && config->optionBits > 3) {
    return call.fail(kKLine.code(kUnknownFlag), "reserved bytes have to be zero");
  }
  return send(call, wBusRecord(channel, flags, *config));
}

}  // namespace
}  // namespace qor::kline

using qor::kline::kKLine;

uint32_t Qor_KLine_Diag_Config_Kw2000(uint32_t port, uint8_t channel, uint32_t flags,
                                      const Qor_KLine_DiagConfigKw2000_t* config) try {
  return qor::kline::configKw2000(qor::kit::Call(kKLine, port), channel, flags, config);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Diag_Config_Kw1281(uint32_t port, uint8_t channel, uint32_t flags,
                                      const Qor_KLine_DiagConfigKw1281_t* config) try {
  return qor::kline::configKw1281(qor::kit::Call(kKLine, port), channel, flags, config);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Diag_Config_Iso9141Ford(uint32_t port, uint8_t channel, uint32_t flags,
                                           const Qor_KLine_DiagConfigIso9141Ford_t* config) try {
  return qor::kline::configIso9141(qor::kit::Call(kKLine, port), channel, flags, config);
} catch (...) {
  return kKLine.failedCall(port);
}

uint32_t Qor_KLine_Diag_Config_WBus(uint32_t port, uint8_t channel, uint32_t flags,
                                    const Qor_KLine_DiagConfigWBus_t* config) try {
  return qor::kline::configWBus(qor::kit::Call(kKLine, port), channel, flags, config);
} catch (...) {
  return kKLine.failedCall(port);
}
