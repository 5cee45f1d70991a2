// Configuring the firmware's diagnostic service (command 0xA0): a 12-byte head, then, in modes 1 and 3, the detail of
// the protocol, to the protocol's record length.
#include <cstddef>
#include <span>

#include "can_library.hpp"
#include "qor_can_diag.h"
#include "qor_kit/diagnostic_config.hpp"
#include "qor_kit/record_writer.hpp"
#include "qor_kit/reserved_offsets.hpp"

namespace qor::can {
namespace {

constexpr size_t kHeadBytes = 12;
constexpr size_t kOffRecordBytes = 4;

enum class Protocol : uint16_t {
  Kwp2000Tp16 = 1,
  Kwp2000Tp20 = 2,
  Kwp2000IsoTp = 3,
  GmLan = 4,
  UdsIsoTp = 5,
  J1939 = 6,
};

constexpr size_t kIsoTpRecordBytes = 36;
constexpr size_t kJ1939RecordBytes = 44;
constexpr size_t kTp16RecordBytes = 24;
constexpr size_t kTp20RecordBytes = 16;
constexpr uint8_t kHighestTesterPresentMode = 2;
constexpr uint8_t kHighestTesterPresentResponseMode = 1;

bool carriesDetail(uint8_t mode) { return mode == 1 || mode == 3; }

// The application's modes 0 to 3 are the firmware's 0, 1, 2 and 4.
uint8_t firmwareMode(uint8_t mode) { return mode == 3 ? 4 : mode; }

uint32_t checkHead(const kit::Call& call, uint8_t mode, uint32_t flags) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_CAN_DIAG_FLAGS)) return code;
  if (mode > QOR_CAN_DIAG_MAX_MODE) return call.fail(kit::GeneralError::UnknownMode, "Unknown Mode: %u", mode);
  return 0;
}

kit::RecordWriter head(Protocol protocol, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                       size_t recordBytes) {
  kit::RecordWriter record(recordBytes);
  record.u8(channel).u16(static_cast<uint16_t>(protocol)).u8(firmwareMode(mode)).u32(value);
  record.u8(static_cast<uint8_t>(flags)).zeros(3);
  return record;
}

uint32_t checkTesterPresent(const kit::Call& call, uint8_t mode, uint8_t responseMode, uint8_t dataLength,
                            uint8_t longestData) {
  if (mode > kHighestTesterPresentMode) {
    return call.fail(kit::GeneralError::UnknownMode, "Unknown TesterPresentMode: %u", mode);
  }
  if (responseMode > kHighestTesterPresentResponseMode) {
    return call.fail(kit::GeneralError::UnknownMode, "Unknown TesterPresentResponseMode: %u", responseMode);
  }
  if (dataLength > longestData) return call.fail(kit::GeneralError::InvalidDataLength, "%u", dataLength);
  return 0;
}

uint32_t sendPadded(const kit::Call& call, kit::RecordWriter& record) {
  record.zeros(record.room());
  return call.send(kit::kDiagnosticConfigCommand, record);
}

uint32_t configIsoTp(const kit::Call& call, Protocol protocol, uint8_t channel, uint8_t mode, uint32_t value,
                     uint32_t flags, const Qor_Can_DiagConfigIsoTp_t* config) {
  if (uint32_t code = checkHead(call, mode, flags)) return code;
  kit::RecordWriter record = head(protocol, channel, mode, value, flags, kIsoTpRecordBytes);
  if (carriesDetail(mode)) {
    if (uint32_t code = call.checkPointer(config, "config")) return code;
    static constexpr size_t kReserved[] = {6, 7, 12, 13, 14};
    if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
    if (uint32_t code = checkTesterPresent(call, config->TesterPresentMode, config->TesterPresentResponseMode,
                                           config->testerPresentDataLength, sizeof config->testerPresentData)) {
      return code;
    }
    record.u16(config->value1).u16(config->value2).u16(config->value3).u16(0);
    record.u8(config->TesterPresentMode).u8(config->TesterPresentResponseMode).u16(config->testerPresentValue);
    record.u16(0).u8(0).u8(config->testerPresentDataLength);
    record.bytes(config->testerPresentData, config->testerPresentDataLength);
  }
  return sendPadded(call, record);
}

uint32_t configJ1939(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                     const Qor_Can_DiagConfigJ1939_t* config) {
  if (uint32_t code = checkHead(call, mode, flags)) return code;
  kit::RecordWriter record = head(Protocol::J1939, channel, mode, value, flags, kJ1939RecordBytes);
  if (carriesDetail(mode)) {
    if (uint32_t code = call.checkPointer(config, "config")) return code;
    static constexpr size_t kReserved[] = {10, 11, 15};
    if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
    if (uint32_t code = checkTesterPresent(call, config->TesterPresentMode, config->TesterPresentResponseMode,
                                           config->testerPresentDataLength, sizeof config->testerPresentData)) {
      return code;
    }
    record.u32(config->value1).u32(config->value2).u16(config->value3).u16(0);
    record.u8(config->TesterPresentMode).u8(config->TesterPresentResponseMode).u8(config->testerPresentDataLength);
    record.u8(0).u32(config->testerPresentValue);
    record.bytes(config->testerPresentData, config->testerPresentDataLength);
  }
  return sendPadded(call, record);
}

uint32_t configTp16(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                    const Qor_Can_DiagConfigTp16_t* config) {
  if (uint32_t code = checkHead(call, mode, flags)) return code;
  kit::RecordWriter record = head(Protocol::Kwp2000Tp16, channel, mode, value, flags, kTp16RecordBytes);
  if (carriesDetail(mode)) {
    if (uint32_t code = call.checkPointer(config, "config")) return code;
    static constexpr size_t kReserved[] = {7, 10, 11};
    if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
    record.u16(config->value1).u16(config->value2).u8(config->value3).u8(config->value4).u8(config->value5).u8(0);
    record.u16(config->value6).u16(0);
  }
  return sendPadded(call, record);
}

uint32_t configTp20(const kit::Call& call, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                    uint16_t value1, uint16_t value2) {
  if (uint32_t code = checkHead(call, mode, flags)) return code;
  // Mode 2 sends the head alone.
  kit::RecordWriter record =
      head(Protocol::Kwp2000Tp20, channel, mode, value, flags, mode == 2 ? kHeadBytes : kTp20RecordBytes);
  if (carriesDetail(mode)) record.u16(value1).u16(value2);
  return sendPadded(call, record);
}

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return kit::switchDiagnosticOff(call, channel, kOffRecordBytes);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::can::Protocol;
using qor::kit::Call;

uint32_t Qor_Can_Diag_Config_GmLan(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                                   const Qor_Can_DiagConfigIsoTp_t* config) try {
  return qor::can::configIsoTp(Call(kCan, port), Protocol::GmLan, channel, mode, value, flags, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_Kw2000_IsoTp(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                          uint32_t flags, const Qor_Can_DiagConfigIsoTp_t* config) try {
  return qor::can::configIsoTp(Call(kCan, port), Protocol::Kwp2000IsoTp, channel, mode, value, flags, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_Uds_IsoTp(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                                       const Qor_Can_DiagConfigIsoTp_t* config) try {
  return qor::can::configIsoTp(Call(kCan, port), Protocol::UdsIsoTp, channel, mode, value, flags, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_J1939(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value, uint32_t flags,
                                   const Qor_Can_DiagConfigJ1939_t* config) try {
  return qor::can::configJ1939(Call(kCan, port), channel, mode, value, flags, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_Kw2000_Tp_1_6(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                           uint32_t flags, const Qor_Can_DiagConfigTp16_t* config) try {
  return qor::can::configTp16(Call(kCan, port), channel, mode, value, flags, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_Kw2000_Tp_2_0(uint32_t port, uint8_t channel, uint8_t mode, uint32_t value,
                                           uint32_t flags, uint16_t value1, uint16_t value2) try {
  return qor::can::configTp20(Call(kCan, port), channel, mode, value, flags, value1, value2);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Diag_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::can::configOff(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}
