// Configuring a transport-protocol channel: command 0x81 with the head {channel, u16 protocol, 0} and the protocol's
// record, and ISO 15765 through a command of its own (0x8E).
#include <cstddef>
#include <optional>

#include "can_library.hpp"
#include "qor_can_tp.h"
#include "qor_kit/record_writer.hpp"
#include "qor_kit/reserved_offsets.hpp"
#include "qor_kit/transport_setup.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kConfigCommand = 0x81;
constexpr uint16_t kIso15765Protocol = 6;
constexpr size_t kIso15765RecordBytes = 68;

enum class Protocol : uint16_t { Off = 0, Tp16 = 1, Tp20 = 2, IsoTp = 3, GmLan = 4, J1939 = 5 };

constexpr size_t recordBytes(Protocol protocol) {
  switch (protocol) {
    case Protocol::Off: return 4;
    case Protocol::Tp16: return 32;
    case Protocol::Tp20: return 28;
    case Protocol::IsoTp: return 48;
    case Protocol::GmLan: return 44;
    case Protocol::J1939: return 44;
  }
  return 0;
}

kit::RecordWriter head(Protocol protocol, uint8_t channel) {
  kit::RecordWriter record(recordBytes(protocol));
  record.u8(channel).u16(static_cast<uint16_t>(protocol)).u8(0);
  return record;
}

// Bytes that no field fills are 0.
uint32_t sendPadded(const kit::Call& call, kit::RecordWriter& record) {
  record.zeros(record.room());
  return call.send(kConfigCommand, record);
}

// The first addressing format that the firmware does not know, format 1 before format 2.
std::optional<uint8_t> unknownAddressingFormat(uint8_t format1, uint8_t format2) {
  for (uint8_t format : {format1, format2}) {
    if (format > QOR_CAN_TP_MAX_ADDRESSING_FORMAT) return format;
  }
  return std::nullopt;
}

uint32_t checkAddressingFormats(const kit::Call& call, uint8_t format1, uint8_t format2) {
  const std::optional<uint8_t> unknown = unknownAddressingFormat(format1, format2);
  return unknown ? call.fail(kCan.code(kTpUnknownAddressingFormat), "%u", *unknown) : 0;
}

bool flag(uint32_t flags, unsigned bit) { return (flags >> bit & 1u) != 0; }

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record = head(Protocol::Off, channel);
  return call.send(kConfigCommand, record);
}

uint32_t configTp16(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigTp16_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {offsetof(Qor_Can_TpConfigTp16_t, reserved)};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  kit::RecordWriter record = head(Protocol::Tp16, channel);
  record.u8(config->byte1).u8(config->byte2).u8(config->byte3).u8(0).bytes(config->parameters, 16);
  record.u16(config->value1).u16(config->value2).u16(config->value3).u16(config->value4);
  return sendPadded(call, record);
}

uint32_t configTp20(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigTp20_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  const uint8_t type = config->applicationType;
  if (type != 0x01 && type != 0x10 && type != 0x20 && type != 0x21) {
    return call.fail(kCan.code(kTpUnknownApplicationType), "%u", type);
  }
  kit::RecordWriter record = head(Protocol::Tp20, channel);
  record.u8(config->byte1).u8(config->byte2).u8(config->byte3).u8(type).bytes(config->parameters, 16);
  record.u16(config->value1).u16(config->value2);
  return sendPadded(call, record);
}

// Flag bits 1 to 7 in bits 0 to 6; bit 7 tells that the extended options (flag bits 8 and 9) count.
uint8_t isoTpOptions(uint32_t flags) {
  const auto options = static_cast<uint8_t>(flags >> 1 & 0x7F);
  return (flags & 0x300) != 0 ? options | 0x80 : options;
}

uint32_t configIsoTp(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigIsoTp_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {29, 30, 31};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  const uint32_t flags = config->flags;
  if (flags > QOR_CAN_TP_ISOTP_FLAGS) return call.fail(kit::GeneralError::UnknownFlag, "%u", flags);
  if (uint32_t code = checkAddressingFormats(call, config->addressingFormat1, config->addressingFormat2)) return code;
  kit::RecordWriter record = head(Protocol::IsoTp, channel);
  record.bytes(config->bytes, 4).bytes(config->parameters, 16);
  record.u8(config->addressingFormat1).u8(config->addressingFormat2).u8(config->byte5).u8(config->byte6);
  record.u8(flags & 1).u8(config->byte7).u8(isoTpOptions(flags)).u8(static_cast<uint8_t>(flags >> 8 & 3));
  for (uint16_t value : config->values) record.u16(value);
  // The optional values go out only with their flags.
  record.u16(flag(flags, 4) ? config->value5 : 0).u16(flag(flags, 5) ? config->value6 : 0);
  record.u8(flag(flags, 6) ? config->value7 : 0).u8(flag(flags, 8) ? config->value8 : 0);
  record.u8(flag(flags, 9) ? config->value9 : 0);
  return sendPadded(call, record);
}

uint32_t configGmLan(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigGmLan_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {25, 26, 27};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  if (config->flag > 1) return call.fail(kit::GeneralError::UnknownFlag, "%u", config->flag);
  if (uint32_t code = checkAddressingFormats(call, config->addressingFormat1, config->addressingFormat2)) return code;
  kit::RecordWriter record = head(Protocol::GmLan, channel);
  record.bytes(config->bytes, 4).u32(config->value1).u32(config->value2).u32(config->value3).u32(0);
  record.u8(config->addressingFormat1).u8(config->addressingFormat2).u8(config->byte5).u8(config->byte6);
  record.u8(static_cast<uint8_t>(config->flag)).u8(config->byte7).u16(0);
  for (uint16_t value : config->values) record.u16(value);
  record.u32(config->value8);
  return sendPadded(call, record);
}

uint32_t configJ1939(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigJ1939_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  static constexpr size_t kReserved[] = {2, 3};
  if (uint32_t code = kit::checkReservedOffsets(call, *config, kReserved)) return code;
  kit::RecordWriter record = head(Protocol::J1939, channel);
  record.u8(config->byte1).u8(config->byte2).u16(0).bytes(config->parameters, 32).u32(config->value);
  return sendPadded(call, record);
}

// Flag bits 8 and 9 in bits 0 and 1; flag bit 10 sets bits 2 and 3 both.
uint8_t iso15765HighFlags(uint32_t flags) {
  const auto high = static_cast<uint8_t>(flags >> 8 & 3);
  return flag(flags, 10) ? high | 0x0C : high;
}

uint32_t configIso15765(const kit::Call& call, uint8_t channel, const Qor_Can_TpConfigIso15765_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  const uint32_t flags = config->flags;
  if (flags > QOR_CAN_TP_ISO15765_FLAGS) return call.fail(kit::GeneralError::UnknownFlag);
  if (unknownAddressingFormat(config->addressingFormat1, config->addressingFormat2)) {
    return call.fail(kit::GeneralError::UnknownMode, "'AddressingFormat' value is unknown");
  }
  const auto firmwareFlags = static_cast<uint16_t>(iso15765HighFlags(flags) << 8 | (flags & 0xFF));
  kit::RecordWriter record = kit::transportSetupRecord(kIso15765RecordBytes, channel, kIso15765Protocol, firmwareFlags);
  record.bytes(config->bytes, 4).bytes(config->parameters1, 16);
  record.u8(config->addressingFormat1).u8(config->addressingFormat2).u8(config->byte5).u8(config->byte6);
  record.bytes(config->parameters2, 16).u32(config->value1).u32(config->value2).u32(config->value3);
  record.u8(config->byte7).u8(config->byte8).u8(config->byte9).u8(0);
  return kit::sendTransportSetup(call, 1, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Tp_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::can::configOff(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_Tp_1_6(uint32_t port, uint8_t channel, const Qor_Can_TpConfigTp16_t* config) try {
  return qor::can::configTp16(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_Tp_2_0(uint32_t port, uint8_t channel, const Qor_Can_TpConfigTp20_t* config) try {
  return qor::can::configTp20(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_IsoTp(uint32_t port, uint8_t channel, const Qor_Can_TpConfigIsoTp_t* config) try {
  return qor::can::configIsoTp(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_GmLan(uint32_t port, uint8_t channel, const Qor_Can_TpConfigGmLan_t* config) try {
  return qor::can::configGmLan(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_J1939(uint32_t port, uint8_t channel, const Qor_Can_TpConfigJ1939_t* config) try {
  return qor::can::configJ1939(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tp_Config_Iso15765(uint32_t port, uint8_t channel, const Qor_Can_TpConfigIso15765_t* config) try {
  return qor::can::configIso15765(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}
