// The generators the firmware runs on a transmit buffer: a checksum (command 0x20, sub-functions 22 and 23) and a
// ramp of one signal in its data (24 define, 25 control).
#include <limits>
#include <vector>

#include "message_buffers.hpp"
#include "qor_flexray_messages.h"
#include "qor_helpers.h"

namespace qor::flexray {
namespace {

enum SubFunction : uint32_t { kCrcDefine = 22, kCrcAssign = 23, kRampDefine = 24, kRampControl = 25 };

constexpr uint8_t kLastRampMode = 1;
constexpr uint8_t kBigEndian = 1;
constexpr uint32_t kLastSignalBit = 2048;  // of a little-endian signal
constexpr const char* kInvalidSignalText = "signal size value too high";

// The firmware's flag bits: caller bit 0, big endian, caller bits 1 and 2.
uint8_t firmwareRampFlags(uint32_t flags, uint8_t byteOrder) {
  return static_cast<uint8_t>((flags & 1u) | (byteOrder == kBigEndian ? 2u : 0u) | ((flags & 6u) << 1));
}

uint32_t checkSignal(const kit::Call& call, const Qor_FlexRay_Ramp_t& ramp) {
  if (ramp.signalSize < 1) return call.fail(kit::GeneralError::InvalidParameter, "signal size < %u", 1u);
  if (ramp.signalSize > QOR_FLEXRAY_MAX_RAMP_SIGNAL_SIZE) {
    return call.fail(kit::GeneralError::InvalidParameter, "signal size > %u", QOR_FLEXRAY_MAX_RAMP_SIGNAL_SIZE);
  }
  // The firmware's byte position is a u8: a larger offset would wrap to the data's first byte.
  if (ramp.bitOffset > QOR_FLEXRAY_MAX_RAMP_BIT_OFFSET) {
    return call.fail(kit::GeneralError::InvalidParameter, "signal offset > %u", QOR_FLEXRAY_MAX_RAMP_BIT_OFFSET);
  }
  const uint32_t offset = ramp.bitOffset;
  const uint32_t size = ramp.signalSize;
  switch (ramp.byteOrder) {
    case 0:
      if (offset + size - 1 > kLastSignalBit) {
        return call.fail(kit::GeneralError::InvalidParameter, "%s", kInvalidSignalText);
      }
      return 0;
    case kBigEndian:
      if (offset / 8 < (size - 1 + offset % 8) / 8) {
        return call.fail(kit::GeneralError::InvalidParameter, "%s", kInvalidSignalText);
      }
      return 0;
    default:
      return call.fail(kit::GeneralError::InvalidParameter, "invalid byte order");
  }
}

uint32_t checkRamp(const kit::Call& call, const Qor_FlexRay_Ramp_t& ramp) {
  if (ramp.reserved != 0) return call.fail(kit::GeneralError::InvalidParameter, "reserved bytes have to be zero");
  if (ramp.mode > kLastRampMode)
    return call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknown", ramp.mode);
  if (uint32_t code = checkSignal(call, ramp)) return code;
  return call.checkFlags(ramp.flags, QOR_FLEXRAY_RAMP_FLAGS);
}

uint32_t rampDefine(const kit::Call& call, uint32_t txHandle, const Qor_FlexRay_Ramp_t* ramp, uint32_t* rampHandle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(ramp, "ramp")) return code;
  if (uint32_t code = call.checkPointer(rampHandle, "rampHandle")) return code;
  *rampHandle = 0;
  const Qor_FlexRay_Ramp_t definition = *ramp;
  if (uint32_t code = checkRamp(call, definition)) return code;
  uint32_t numerator = 0;
  uint32_t denominator = 1;
  Qor_Internal_Math_Float64_Decimal2Fraction(&numerator, &denominator, definition.step);
  // The record holds 16 bits of the denominator; a step needing more would be sent as another value.
  if (denominator > std::numeric_limits<uint16_t>::max()) {
    return call.fail(kit::GeneralError::InvalidParameter, "step needs a denominator of %u > %u", denominator,
                     uint32_t{std::numeric_limits<uint16_t>::max()});
  }
  kit::RecordWriter record(40);
  record.u32(kRampDefine).u32(txHandle).u8(definition.mode);
  record.u8(static_cast<uint8_t>(definition.bitOffset / 8)).u8(static_cast<uint8_t>(definition.bitOffset % 8));
  record.u8(definition.signalSize).u32(definition.value1).u32(definition.value2).u32(definition.value3);
  record.u32(numerator).u16(static_cast<uint16_t>(denominator));
  record.u16(definition.valueB).u16(definition.valueC).u16(definition.valueA);
  record.u8(firmwareRampFlags(definition.flags, definition.byteOrder)).zeros(3);
  return defineForHandle(call, record, rampHandle);
}

uint32_t rampControl(const kit::Call& call, uint32_t rampHandle, uint8_t mode) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (mode > QOR_FLEXRAY_MAX_RAMP_CONTROL_MODE) {
    return call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  }
  kit::RecordWriter record(12);
  record.u32(kRampControl).u32(rampHandle).u8(mode).zeros(3);
  return exchangeController(call, record);
}

uint32_t crcDefine(const kit::Call& call, uint32_t handle, uint32_t first, uint32_t second, uint8_t third,
                   uint32_t flags, uint32_t* crcHandle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(crcHandle, "crcHandle")) return code;
  *crcHandle = 0;
  if (uint32_t code = call.checkFlags(flags, QOR_FLEXRAY_CRC_FLAGS)) return code;
  kit::RecordWriter record(24);
  record.u32(kCrcDefine).u32(handle).u32(first).u32(second).u8(third).zeros(3).u8(static_cast<uint8_t>(flags)).zeros(3);
  return defineForHandle(call, record, crcHandle);
}

// The record's last eight bytes carry nothing of the caller's and go as zeros.
uint32_t crcAssign(const kit::Call& call, uint32_t first, uint32_t second, uint8_t third, uint8_t fourth, uint8_t fifth,
                   uint32_t* crcHandle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(crcHandle, "crcHandle")) return code;
  kit::RecordWriter record(24);
  record.u32(kCrcAssign).u32(first).u32(second).u8(third).u8(fourth).u8(fifth).zeros(9);
  return defineForHandle(call, record, crcHandle);
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Message_Checksum_Crc_Define(uint32_t port, uint32_t handle, uint32_t firstValue,
                                                 uint32_t secondValue, uint8_t thirdValue, uint32_t flags,
                                                 uint32_t* crcHandle) try {
  return qor::flexray::crcDefine(Call(kFlexRay, port), handle, firstValue, secondValue, thirdValue, flags, crcHandle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Checksum_Crc_Assign(uint32_t port, uint32_t firstValue, uint32_t secondValue,
                                                 uint8_t thirdValue, uint8_t fourthValue, uint8_t fifthValue,
                                                 uint32_t* crcHandle) try {
  return qor::flexray::crcAssign(Call(kFlexRay, port), firstValue, secondValue, thirdValue, fourthValue, fifthValue,
                                 crcHandle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Ramp_Define(uint32_t port, uint32_t txHandle, const Qor_FlexRay_Ramp_t* ramp,
                                         uint32_t* rampHandle) try {
  return qor::flexray::rampDefine(Call(kFlexRay, port), txHandle, ramp, rampHandle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Ramp_Control(uint32_t port, uint32_t rampHandle, uint8_t mode) try {
  return qor::flexray::rampControl(Call(kFlexRay, port), rampHandle, mode);
} catch (...) {
  return kFlexRay.failedCall(port);
}
