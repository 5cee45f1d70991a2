// Network management's configuration (command 0x41) and its additional data (command 0x46).
#include "can_library.hpp"
#include "qor_can_nm.h"

namespace qor::can {
namespace {

constexpr uint8_t kConfigureCommand = 0x41;
constexpr uint8_t kDataCommand = 0x46;

constexpr uint8_t kHighestOsekType = 4;
constexpr uint8_t kFirstOsekFirmwareType = 1;
constexpr uint16_t kHighestAutosarType = 2;
constexpr uint8_t kFirstAutosarFirmwareType = 8;
constexpr uint32_t kOsekFlags = 0x3F;
constexpr uint32_t kAutosarFlags = 0x03;

// Kinds of the additional data records.
constexpr uint8_t kFirstDataByteKind = 1;
constexpr uint8_t kSetDataKind = 2;
constexpr uint8_t kSecondDataByteKind = 4;
constexpr uint8_t kSecondBlockKind = 5;
constexpr uint8_t kThirdBlockKind = 6;

constexpr size_t kLongestConfigureRecord = 24;
constexpr size_t kLongestDataRecord = 44;

uint8_t flagByte(uint32_t flags, uint32_t flag) { return (flags & flag) != 0 ? 1 : 0; }

kit::RecordWriter osekConfigureRecord(const Qor_Can_Nm_OsekConfig_t& config) {
  const uint32_t flags = config.commandFlags;
  kit::RecordWriter record(kLongestConfigureRecord);
  record.u8(static_cast<uint8_t>(config.type + kFirstOsekFirmwareType))
      .u8(flagByte(flags, QOR_CAN_NM_OSEK_VALUES))
      .u8(flagByte(flags, QOR_CAN_NM_OSEK_FIRST_BLOCK))
      .u8(0);
  if ((flags & (QOR_CAN_NM_OSEK_VALUES | QOR_CAN_NM_OSEK_FIRST_BLOCK)) == 0) return record;
  if ((flags & QOR_CAN_NM_OSEK_VALUES) != 0) {
    for (uint16_t value : config.values) record.u16(value);
  } else {
    record.zeros(sizeof config.values);
  }
  if ((flags & QOR_CAN_NM_OSEK_FIRST_BLOCK) != 0) {
    record.u32(config.firstBlockWord1).u32(config.firstBlockWord2).u16(config.firstBlockHalf).u16(0);
  }
  return record;
}

kit::RecordWriter dataRecord(uint8_t kind) {
  kit::RecordWriter record(kLongestDataRecord);
  record.u8(kind).zeros(3);
  return record;
}

kit::RecordWriter dataByteRecord(uint8_t kind, uint8_t value) {
  kit::RecordWriter record = dataRecord(kind);
  record.u8(value).zeros(3);
  return record;
}

// The records that follow the configuration, in the order the firmware takes them, each with its flag.
uint32_t sendOsekData(const kit::Call& call, const Qor_Can_Nm_OsekConfig_t& config) {
  const uint32_t flags = config.commandFlags;
  if ((flags & QOR_CAN_NM_OSEK_FIRST_DATA_BYTE) != 0) {
    if (uint32_t code = call.send(kDataCommand, dataByteRecord(kFirstDataByteKind, config.firstDataByte))) return code;
  }
  if ((flags & QOR_CAN_NM_OSEK_SECOND_DATA_BYTE) != 0) {
    if (uint32_t code = call.send(kDataCommand, dataByteRecord(kSecondDataByteKind, config.secondDataByte))) {
      return code;
    }
  }
  if ((flags & QOR_CAN_NM_OSEK_SECOND_BLOCK) != 0) {
    kit::RecordWriter record = dataRecord(kSecondBlockKind);
    record.bytes(config.secondBlockBytes1, sizeof config.secondBlockBytes1)
        .bytes(config.secondBlockBytes2, sizeof config.secondBlockBytes2)
        .u32(config.secondBlockWord1)
        .u32(config.secondBlockWord2);
    if (uint32_t code = call.send(kDataCommand, record)) return code;
  }
  if ((flags & QOR_CAN_NM_OSEK_THIRD_BLOCK) != 0) {
    kit::RecordWriter record = dataRecord(kThirdBlockKind);
    for (uint32_t word : config.thirdBlock) record.u32(word);
    if (uint32_t code = call.send(kDataCommand, record)) return code;
  }
  return 0;
}

kit::RecordWriter autosarConfigureRecord(const Qor_Can_Nm_AutosarConfig_t& config) {
  const uint32_t flags = config.flags;
  kit::RecordWriter record(kLongestConfigureRecord);
  record.u8(static_cast<uint8_t>(config.type + kFirstAutosarFirmwareType))
      .u8(flagByte(flags, QOR_CAN_NM_AUTOSAR_VALUES))
      .u8(flagByte(flags, QOR_CAN_NM_AUTOSAR_NODES))
      .u8(0);
  if (flags == 0) return record;
  if ((flags & QOR_CAN_NM_AUTOSAR_VALUES) != 0) {
    record.u16(config.thirdValue).u16(config.firstValue).u16(config.fourthValue).u16(config.secondValue);
  } else {
    record.zeros(8);
  }
  if ((flags & QOR_CAN_NM_AUTOSAR_NODES) != 0) {
    record.u32(config.fifthValue).u32(config.NumberOfNodes - 1u).u16(config.NumberOfNodes).u16(0);
  }
  return record;
}

uint32_t configureOff(const kit::Call& call) {
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(0);
  return call.send(kConfigureCommand, record);
}

uint32_t configureOsek(const kit::Call& call, const Qor_Can_Nm_OsekConfig_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (config->reserved7 != 0 || config->reserved18 != 0) {
    return call.fail(kit::GeneralError::InvalidParameter, "reserved bytes have to be '0'");
  }
  if ((config->commandFlags & ~kOsekFlags) != 0) {
    return call.fail(kit::GeneralError::UnknownFlag, "unknown command flag");
  }
  if (config->type > kHighestOsekType) {
    return call.fail(kit::GeneralError::InvalidParameter, "unknown NM type '0x%x'", config->type);
  }
  if (uint32_t code = call.send(kConfigureCommand, osekConfigureRecord(*config))) return code;
  return sendOsekData(call, *config);
}

uint32_t configureAutosar(const kit::Call& call, const Qor_Can_Nm_AutosarConfig_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = call.checkReserved(config->reserved2, "reserved bytes have to be zero")) return code;
  if (config->type > kHighestAutosarType) {
    return call.fail(kit::GeneralError::InvalidParameter, "Type '0x%02x' is unknown", config->type);
  }
  if ((config->flags & ~kAutosarFlags) != 0) return call.fail(kit::GeneralError::UnknownFlag, "unknown flag");
  if ((config->flags & QOR_CAN_NM_AUTOSAR_NODES) != 0) {
    if (config->NumberOfNodes == 0) return call.fail(kit::GeneralError::InvalidParameter, "'NumberOfNodes' is zero");
    if (uint32_t code = call.checkReserved(config->reserved22, "reserved bytes have to be zero")) return code;
  }
  return call.send(kConfigureCommand, autosarConfigureRecord(*config));
}

uint32_t setData(const kit::Call& call, const uint8_t* first, const uint8_t* second) {
  constexpr size_t kDataBytes = 8;
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(first, "first")) return code;
  if (uint32_t code = call.checkPointer(second, "second")) return code;
  kit::RecordWriter record = dataRecord(kSetDataKind);
  record.bytes(first, kDataBytes).bytes(second, kDataBytes);
  return call.send(kDataCommand, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Nm_Config_Off(uint32_t port) try {
  return qor::can::configureOff(qor::kit::Call(kCan, port));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Config_Osek(uint32_t port, const Qor_Can_Nm_OsekConfig_t* config) try {
  return qor::can::configureOsek(qor::kit::Call(kCan, port), config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Config_Autosar(uint32_t port, const Qor_Can_Nm_AutosarConfig_t* config) try {
  return qor::can::configureAutosar(qor::kit::Call(kCan, port), config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Nm_Config_SetData(uint32_t port, const uint8_t* first, const uint8_t* second) try {
  return qor::can::setData(qor::kit::Call(kCan, port), first, second);
} catch (...) {
  return kCan.failedCall(port);
}
