// Ramps that the firmware runs in a signal of a cyclic message: defining, deleting, their modes, state and sums, and
// incrementing ramps with the ramp they drive.
#include <vector>

#include "can_library.hpp"
#include "cyclic_arguments.hpp"
#include "cyclic_commands.hpp"
#include "qor_can_cyclic.h"
#include "qor_helpers.h"
#include "qor_kit/ramp_modes.hpp"

namespace qor::can {
namespace {

using kit::AnswerReader;
using kit::Call;
using kit::GeneralError;
using kit::RecordWriter;

constexpr char kReservedText[] = "reserved bytes have to be zero";
constexpr char kUnknownModeText[] = "unknown ramp mode";
constexpr size_t kRampRecordBytes = 32;
constexpr uint8_t kDeleteMode = 0;
constexpr size_t kModeChangeHeadBytes = 8;
constexpr size_t kModeChangeEntryBytes = 8;
constexpr uint32_t kModeChangeAnswerBytes = 4;
constexpr uint32_t kStateAnswerCapacity = 16;
constexpr size_t kStateAnswerBytes = 14;
constexpr uint8_t kStateBits = 0x03;
constexpr size_t kIncrementingRampBytes = 16;
constexpr size_t kLinkedRampBytes = 12;

// {u32 identifier, u8 byte index, u8 bit in byte, u16 0}: how the firmware finds a ramp.
RecordWriter rampKey(uint32_t identifier, const FirmwareSignal& signal) {
  RecordWriter record(8);
  record.u32(identifier).u8(signal.byteIndex).u8(signal.bitIndex).u16(0);
  return record;
}

uint32_t defineRamp(const Call& call, const Qor_Can_CyclicMsgs_Ramp_t* ramp) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(ramp, "ramp")) return code;
  if (uint32_t code = call.checkReserved(ramp->reserved, kReservedText)) return code;
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, ramp->signal, &split)) return code;
  if (ramp->mode > QOR_CAN_CYCLIC_RAMP_MODE_MAX) return call.fail(GeneralError::UnknownMode, kUnknownModeText);
  if (ramp->direction > 1) return call.fail(GeneralError::InvalidParameter, "invalid ramp direction");
  uint32_t numerator = 0;
  uint32_t denominator = 1;
  Qor_Internal_Math_Float64_Decimal2Fraction(&numerator, &denominator, ramp->step);
  RecordWriter record(kRampRecordBytes);
  record.u32(ramp->identifier).u8(kit::firmwareRampMode(ramp->mode)).u8(split.byteIndex).u8(split.bitIndex).u8(split.size);
  record.u16(ramp->firstValue).u16(ramp->secondValue).u32(numerator).u32(denominator);
  record.u16(ramp->thirdValue).u16(ramp->fifthValue).u32(ramp->fourthValue);
  record.u8(split.motorola).u8(ramp->direction).u16(0);
  return call.send(kDefineRamp, record);
}

uint32_t deleteRamp(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal) {
  if (uint32_t code = checkCanInterface(call)) return code;
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, signal, &split)) return code;
  RecordWriter record(7);
  record.u32(identifier).u8(kDeleteMode).u8(split.byteIndex).u8(split.bitIndex);
  return call.send(kDefineRamp, record);
}

uint32_t changeRampModes(const Call& call, uint32_t count, const Qor_Can_CyclicMsgs_RampMode_t* entries) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkBytes(call, entries, count, "entries")) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  // Bounded before the entries are read: a count from the caller cannot make the record wrap or overrun.
  const size_t room = parameterLength > kModeChangeHeadBytes ? parameterLength - kModeChangeHeadBytes : 0;
  if (count > room / kModeChangeEntryBytes) {
    return call.fail(GeneralError::InvalidDataLength, "%u ramps exceed the parameter length of %u bytes", count,
                     parameterLength);
  }
  RecordWriter record(kModeChangeHeadBytes + size_t{count} * kModeChangeEntryBytes);
  record.u32(0).u32(count);
  for (uint32_t index = 0; index < count; ++index) {
    const Qor_Can_CyclicMsgs_RampMode_t& entry = entries[index];
    FirmwareSignal split;
    if (uint32_t code = splitSignal(call, entry.signal, &split)) return code;
    if (entry.mode > QOR_CAN_CYCLIC_RAMP_MODE_MAX) {
      return call.fail(GeneralError::UnknownMode, "unknown ramp mode at ramp index %u", index);
    }
    record.u32(entry.identifier).u8(split.byteIndex).u8(split.bitIndex).u8(kit::firmwareRampMode(entry.mode)).u8(0);
  }
  std::vector<uint8_t> answer;
  return call.exchange(kChangeRampModes, kFirstByteKeys, record, answer, kModeChangeAnswerBytes);
}

uint32_t readRampState(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal, uint32_t* firstState,
                       uint32_t* secondState, uint32_t* value, uint16_t* shortValue) {
  if (uint32_t code = checkCanInterface(call)) return code;
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, signal, &split)) return code;
  for (const void* output : {static_cast<const void*>(firstState), static_cast<const void*>(secondState),
                             static_cast<const void*>(value), static_cast<const void*>(shortValue)}) {
    if (uint32_t code = call.checkPointer(output, "output")) return code;
  }
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kReadRampState, 0, rampKey(identifier, split), answer, kStateAnswerCapacity)) {
    return code;
  }
  const AnswerReader reader(answer);
  if (!reader.has(kStateAnswerBytes)) return call.shortAnswer(reader);
  if (reader.u32(0) != identifier || reader.u8(4) != split.byteIndex || reader.u8(5) != split.bitIndex) {
    return call.fail(GeneralError::InvalidResponseParameter, "ramp not found");
  }
  *firstState = reader.u8(6) & kStateBits;
  *secondState = reader.u8(7) & kStateBits;
  *value = reader.u32(8);
  *shortValue = reader.u16(12);
  return 0;
}

uint32_t defineIncrementingRamp(const Call& call, const Qor_Can_CyclicMsgs_IncRamp_t* ramp) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(ramp, "ramp")) return code;
  const Qor_Can_CyclicMsgs_LinkedRamp_t* linked = ramp->linked;
  if (uint32_t code = call.checkReserved(ramp->reserved, kReservedText)) return code;
  if (linked != nullptr) {
    if (uint32_t code = call.checkReserved(linked->reserved, kReservedText)) return code;
  }
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, ramp->signal, &split)) return code;
  FirmwareSignal linkedSplit;
  if (linked != nullptr) {
    if (uint32_t code = splitSignal(call, linked->signal, &linkedSplit)) return code;
  }
  if (ramp->direction > 1) return call.fail(GeneralError::InvalidParameter, "invalid direction");
  if (linked != nullptr && linked->mode > QOR_CAN_CYCLIC_LINKED_RAMP_MODE_MAX) {
    return call.fail(GeneralError::UnknownMode, kUnknownModeText);
  }
  RecordWriter record(kIncrementingRampBytes + kLinkedRampBytes);
  record.u32(ramp->identifier).u8(split.byteIndex).u8(split.bitIndex);
  for (uint16_t value : ramp->values) record.u16(value);
  record.u8(ramp->direction).u8(linked != nullptr ? 1 : 0);
  if (linked != nullptr) {
    record.u32(linked->identifier).u8(kit::firmwareRampMode(linked->mode));
    record.u8(linkedSplit.byteIndex).u8(linkedSplit.bitIndex).u8(linkedSplit.size);
    record.u16(linked->firstValue).u16(linked->secondValue);
  }
  return call.send(kDefineIncrementingRamp, record);
}

uint32_t resetRampSum(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal) {
  // The interface first: on another bus this command code means something else.
  if (uint32_t code = checkCanInterface(call)) return code;
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, signal, &split)) return code;
  return call.send(kResetRampSum, rampKey(identifier, split));
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_CyclicMsgs_Ramp_Define(uint32_t port, const Qor_Can_CyclicMsgs_Ramp_t* ramp) try {
  return qor::can::defineRamp(Call(kCan, port), ramp);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Ramp_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal) try {
  return qor::can::deleteRamp(Call(kCan, port), identifier, signal);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Ramp_ChangeMode(uint32_t port, uint32_t count,
                                            const Qor_Can_CyclicMsgs_RampMode_t* entries) try {
  return qor::can::changeRampModes(Call(kCan, port), count, entries);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Ramp_GetState(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal,
                                          uint32_t* firstState, uint32_t* secondState, uint32_t* value,
                                          uint16_t* shortValue) try {
  return qor::can::readRampState(Call(kCan, port), identifier, signal, firstState, secondState, value, shortValue);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Ramp_DefineIncRamp(uint32_t port, const Qor_Can_CyclicMsgs_IncRamp_t* ramp) try {
  return qor::can::defineIncrementingRamp(Call(kCan, port), ramp);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Ramp_ResetRampSum(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal) try {
  return qor::can::resetRampSum(Call(kCan, port), identifier, signal);
} catch (...) {
  return kCan.failedCall(port);
}
