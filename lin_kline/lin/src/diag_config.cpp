#include <algorithm>
#include <cstring>

#include "lin_library.hpp"
#include "qor_lin_diag.h"

namespace qor::lin {
namespace {

constexpr uint8_t kConfigureCommand = 0xA0;
constexpr uint8_t kTimingCommand = 0xA8;
constexpr uint8_t kLastTxMethod = 4;
constexpr uint8_t kLastRxEndCondition = 3;
constexpr uint32_t kLastSpecialResponseFlags = 31;
constexpr size_t kRawHeadBytes = 52;
constexpr size_t kSpecialResponseBytes = 20;
constexpr size_t kLin20HeadBytes = 20;
constexpr size_t kTesterPresentBytes = 12;  // mode, response mode, value and data of the raw record

enum ConfigKind : uint8_t { kOff = 0, kRaw = 1, kLin20 = 2 };
enum TimingSubFunction : uint8_t { kScheduleDelays = 0, kTxTimeout = 1 };

constexpr char kReservedText[] = "reserved bytes have to be zero";

template <class Field>
bool isZero(const Field& field) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&field);
  return std::all_of(bytes, bytes + sizeof field, [](uint8_t byte) { return byte == 0; });
}

kit::RecordWriter configHead(uint8_t instance, ConfigKind kind, uint8_t txMethod, size_t capacity) {
  kit::RecordWriter record(capacity);
  record.u8(instance).u8(kind).u8(0).u8(txMethod);
  return record;
}

uint32_t checkMode(const kit::Call& call, uint8_t mode, const char* name) {
  return mode > 1 ? call.fail(kit::GeneralError::UnknownMode, "%s '0x%x' is unknown", name, mode) : 0;
}

uint32_t checkTxMethod(const kit::Call& call, uint8_t txMethod) {
  return txMethod > kLastTxMethod
             ? call.fail(kit::GeneralError::InvalidParameter, "txMethod '0x%x' is unknown", txMethod)
             : 0;
}

// The special responses lie behind the configuration, as many as it counts.
Qor_Lin_DiagSpecialResponse_t specialResponse(const Qor_Lin_DiagConfigRaw_t& config, size_t index) {
  Qor_Lin_DiagSpecialResponse_t response;
  std::memcpy(&response, reinterpret_cast<const uint8_t*>(&config) + sizeof config + index * sizeof response,
              sizeof response);
  return response;
}

uint32_t checkRaw(const kit::Call& call, uint8_t txMethod, const Qor_Lin_DiagConfigRaw_t& config) {
  if (!(isZero(config.reserved6) && isZero(config.reserved45) && isZero(config.reserved9) &&
        isZero(config.reserved21))) {
    return call.fail(kit::GeneralError::InvalidParameter, "%s", kReservedText);
  }
  if (uint32_t code = checkTxMethod(call, txMethod)) return code;
  if (uint32_t code = checkMode(call, config.defaultMasterDataMode, "default master data mode")) return code;
  if (uint32_t code = checkMode(call, config.defaultSlaveDataMode, "default slave data mode")) return code;
  if (uint32_t code = checkMode(call, config.testerPresentMode, "tester present mode")) return code;
  if (config.testerPresentMode == 1) {
    if (uint32_t code = checkMode(call, config.testerPresentResponseMode, "tester present response mode")) {
      return code;
    }
  }
  if (config.rxEndCondition > kLastRxEndCondition) {
    return call.fail(kit::GeneralError::InvalidParameter, "RxEndCondition '0x%x' is unknown", config.rxEndCondition);
  }
  if (config.specialResponseCount > QOR_LIN_DIAG_MAX_SPECIAL_RESPONSES) {
    return call.fail(kit::GeneralError::InvalidParameter, "at most %u special responses",
                     QOR_LIN_DIAG_MAX_SPECIAL_RESPONSES);
  }
  for (unsigned index = 0; index < config.specialResponseCount; ++index) {
    if (specialResponse(config, index).flags > kLastSpecialResponseFlags) {
      return call.fail(kit::GeneralError::UnknownFlag, "unknown flag in special response #%u", index);
    }
  }
  return 0;
}

kit::RecordWriter rawRecord(uint8_t instance, uint8_t txMethod, const Qor_Lin_DiagConfigRaw_t& config) {
  kit::RecordWriter record = configHead(
      instance, kRaw, txMethod, kRawHeadBytes + QOR_LIN_DIAG_MAX_SPECIAL_RESPONSES * kSpecialResponseBytes);
  record.u16(0).u16(config.value1).u16(config.value2).u16(config.value3);
  record.u8(config.defaultMasterDataMode).zeros(3).bytes(config.defaultMasterData, sizeof config.defaultMasterData);
  record.u8(config.defaultSlaveDataMode).zeros(3).bytes(config.defaultSlaveData, sizeof config.defaultSlaveData);
  if (config.testerPresentMode == 1) {
    record.u8(1).u8(config.testerPresentResponseMode).u16(config.testerPresentValue);
    record.bytes(config.testerPresentData, sizeof config.testerPresentData);
  } else {
    record.u8(0).zeros(kTesterPresentBytes - 1);
  }
  record.u8(config.rxEndCondition).u16(0).u8(config.specialResponseCount);
  for (size_t index = 0; index < config.specialResponseCount; ++index) {
    const Qor_Lin_DiagSpecialResponse_t response = specialResponse(config, index);
    record.bytes(response.data, sizeof response.data).u8(static_cast<uint8_t>(response.flags)).zeros(3);
  }
  return record;
}

uint32_t configureRaw(const kit::Call& call, uint8_t instance, uint8_t txMethod,
                      const Qor_Lin_DiagConfigRaw_t* config) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = checkRaw(call, txMethod, *config)) return code;
  return call.send(kConfigureCommand, rawRecord(instance, txMethod, *config));
}

uint32_t checkLin20(const kit::Call& call, uint8_t txMethod, const Qor_Lin_DiagConfigLin20_t& config) {
  if (!(isZero(config.reserved1) && isZero(config.reserved12) && isZero(config.reserved14))) {
    return call.fail(kit::GeneralError::InvalidParameter, "%s", kReservedText);
  }
  if (uint32_t code = checkTxMethod(call, txMethod)) return code;
  if (uint32_t code = checkMode(call, config.testerPresentMode, "tester present mode")) return code;
  if (config.testerPresentMode == 1) {
    if (uint32_t code = checkMode(call, config.testerPresentResponseMode, "tester present response mode")) {
      return code;
    }
    if (config.testerPresentDataLength > QOR_LIN_DIAG_MAX_TESTER_PRESENT_DATA) {
      return call.fail(kit::GeneralError::InvalidParameter, "tester present data length %u is above %u",
                       config.testerPresentDataLength, QOR_LIN_DIAG_MAX_TESTER_PRESENT_DATA);
    }
  }
  return 0;
}

kit::RecordWriter lin20Record(uint8_t instance, uint8_t txMethod, const Qor_Lin_DiagConfigLin20_t& config) {
  kit::RecordWriter record =
      configHead(instance, kLin20, txMethod, kLin20HeadBytes + QOR_LIN_DIAG_MAX_TESTER_PRESENT_DATA);
  record.u8(config.value0).u8(0).u16(config.value1).u16(config.value2).u16(config.value3);
  record.u8(config.testerPresentMode);
  if (config.testerPresentMode == 1) {
    record.u8(config.testerPresentResponseMode).u16(config.testerPresentValue).u16(0).u8(0);
    record.u8(config.testerPresentDataLength).bytes(config.testerPresentData, config.testerPresentDataLength);
  }
  return record;
}

uint32_t configureLin20(const kit::Call& call, uint8_t instance, uint8_t txMethod,
                        const Qor_Lin_DiagConfigLin20_t* config) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = checkLin20(call, txMethod, *config)) return code;
  return call.send(kConfigureCommand, lin20Record(instance, txMethod, *config));
}

uint32_t switchOff(const kit::Call& call, uint8_t instance) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(2);
  record.u8(instance).u8(kOff);
  return call.send(kConfigureCommand, record);
}

kit::RecordWriter timingHead(uint8_t instance, TimingSubFunction subFunction, size_t capacity) {
  kit::RecordWriter record(capacity);
  record.u8(instance).u8(subFunction).u16(0);
  return record;
}

uint32_t changeScheduleDelay(const kit::Call& call, uint8_t instance, uint32_t delay1, uint32_t delay2) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record = timingHead(instance, kScheduleDelays, 12);
  record.u32(ticksOf(delay1)).u32(ticksOf(delay2));
  return call.send(kTimingCommand, record);
}

uint32_t changeTxTimeout(const kit::Call& call, uint8_t instance, uint16_t timeout) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record = timingHead(instance, kTxTimeout, 6);
  record.u16(timeout);
  return call.send(kTimingCommand, record);
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_Diag_Config_Raw(uint32_t port, uint8_t instance, uint8_t txMethod,
                                 const Qor_Lin_DiagConfigRaw_t* config) try {
  return qor::lin::configureRaw(Call(kLin, port), instance, txMethod, config);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_Config_Lin_2_0(uint32_t port, uint8_t instance, uint8_t txMethod,
                                     const Qor_Lin_DiagConfigLin20_t* config) try {
  return qor::lin::configureLin20(Call(kLin, port), instance, txMethod, config);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_Config_Off(uint32_t port, uint8_t instance) try {
  return qor::lin::switchOff(Call(kLin, port), instance);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_ChangeScheduleDelay(uint32_t port, uint8_t instance, uint32_t delay1, uint32_t delay2) try {
  return qor::lin::changeScheduleDelay(Call(kLin, port), instance, delay1, delay2);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Diag_ChangeTxTimeout(uint32_t port, uint8_t instance, uint16_t timeout) try {
  return qor::lin::changeTxTimeout(Call(kLin, port), instance, timeout);
} catch (...) {
  return kLin.failedCall(port);
}
