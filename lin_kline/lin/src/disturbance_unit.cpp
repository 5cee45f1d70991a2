#include "lin_library.hpp"
#include "qor_lin_disturbance.h"

namespace qor::lin {
namespace {

constexpr uint8_t kDominantLevelCommand = 0x17;
constexpr uint8_t kWakeUpDelayCommand = 0x18;
constexpr uint8_t kErrorModeCommand = 0x19;
constexpr uint8_t kRecessiveLevelCommand = 0x1B;
constexpr uint8_t kLastReferencePoint = 12;
constexpr uint8_t kLastErrorMode = 13;

// The application's error modes 0, 1 and 2 are the firmware's 1, 2 and 14; the others keep their number.
constexpr uint8_t firmwareErrorMode(uint8_t mode) {
  constexpr uint8_t kFirstThree[] = {1, 2, 14};
  return mode < 3 ? kFirstThree[mode] : mode;
}
constexpr bool takesExtendedParameters(uint8_t mode) { return mode == 2 || mode == 13; }

uint32_t setLevel(const kit::Call& call, uint8_t command, uint32_t flags, uint8_t referencePoint, uint8_t value1,
                  uint32_t time1, uint32_t time2, uint16_t value2) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  if (referencePoint > kLastReferencePoint) {
    return call.fail(kit::GeneralError::InvalidParameter, "invalid referencePoint '0x%02x'", referencePoint);
  }
  kit::RecordWriter record(16);
  record.u8(1).u8(referencePoint).u8(static_cast<uint8_t>(flags)).u8(value1);
  record.u32(ticksOf(time1)).u32(ticksOf(time2)).u16(value2).u16(0);
  return call.send(command, record);
}

uint32_t resetLevel(const kit::Call& call, uint8_t command) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(1);
  record.u8(0);
  return call.send(command, record);
}

uint32_t wakeUpDelay(const kit::Call& call, bool set, uint16_t value1, uint16_t value2) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(8);
  record.u32(set ? 1 : 0);
  if (set) record.u16(value1).u16(value2);
  return call.send(kWakeUpDelayCommand, record);
}

uint32_t setErrorMode(const kit::Call& call, uint32_t flags, uint8_t mode, uint8_t value, uint32_t value2,
                      const uint8_t* extended) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (mode > kLastErrorMode) return call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  const bool withExtended = takesExtendedParameters(mode) && extended != nullptr;
  if (withExtended && (extended[1] != 0 || extended[2] != 0 || extended[3] != 0)) {
    return call.fail(kit::GeneralError::InvalidParameter, "reserved bytes have to be '0'");
  }
  kit::RecordWriter record(12);
  record.u8(firmwareErrorMode(mode)).u8(static_cast<uint8_t>(flags)).u8(value).u8(0).u32(value2);
  if (withExtended) record.u8(extended[0]).zeros(3);
  return call.send(kErrorModeCommand, record);
}

uint32_t resetErrorMode(const kit::Call& call, uint32_t flags, uint8_t value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  kit::RecordWriter record(8);
  record.u8(0).u8(static_cast<uint8_t>(flags)).u8(value).u8(0).u32(0);
  return call.send(kErrorModeCommand, record);
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_AdvLib_DominantLevel_Set(uint32_t port, uint32_t flags, uint8_t referencePoint, uint8_t value1,
                                          uint32_t time1, uint32_t time2, uint16_t value2) try {
  return qor::lin::setLevel(Call(kLin, port), qor::lin::kDominantLevelCommand, flags, referencePoint, value1, time1,
                            time2, value2);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_DominantLevel_Reset(uint32_t port) try {
  return qor::lin::resetLevel(Call(kLin, port), qor::lin::kDominantLevelCommand);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_RecessiveLevel_Set(uint32_t port, uint32_t flags, uint8_t referencePoint, uint8_t value1,
                                           uint32_t time1, uint32_t time2, uint16_t value2) try {
  return qor::lin::setLevel(Call(kLin, port), qor::lin::kRecessiveLevelCommand, flags, referencePoint, value1, time1,
                            time2, value2);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_RecessiveLevel_Reset(uint32_t port) try {
  return qor::lin::resetLevel(Call(kLin, port), qor::lin::kRecessiveLevelCommand);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_WakeUpDelay_Set(uint32_t port, uint16_t value1, uint16_t value2) try {
  return qor::lin::wakeUpDelay(Call(kLin, port), true, value1, value2);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_WakeUpDelay_Reset(uint32_t port) try {
  return qor::lin::wakeUpDelay(Call(kLin, port), false, 0, 0);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_ErrorMode_Set(uint32_t port, uint32_t flags, uint8_t mode, uint8_t value, uint32_t value2,
                                      const uint8_t* extendedParameters) try {
  return qor::lin::setErrorMode(Call(kLin, port), flags, mode, value, value2, extendedParameters);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_AdvLib_ErrorMode_Reset(uint32_t port, uint32_t flags, uint8_t value) try {
  return qor::lin::resetErrorMode(Call(kLin, port), flags, value);
} catch (...) {
  return kLin.failedCall(port);
}
