// Signal ramps inside frame responses: defined and deleted with command 0x36, their sum reset with 0x37, their state
// read with 0xF7. A ramp is known by its frame id and its signal's byte and bit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lin_library.hpp"
#include "qor_common_signal.h"
#include "qor_helpers.h"
#include "qor_kit/ramp_modes.hpp"
#include "qor_lin_frames.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kRampCommand = 0x36;
constexpr uint8_t kResetSumCommand = 0x37;
constexpr uint8_t kStateCommand = 0xF7;
constexpr uint32_t kStateAnswerCapacity = 8;
constexpr uint8_t kDeleteRamp = 0;

// The firmware's ramp record of command 0x36.
struct RampRecord {
  uint8_t frameId;
  uint8_t reserved1[3];
  uint8_t mode;
  uint8_t byteIndex;
  uint8_t bitInByte;
  uint8_t size;
  uint16_t value1;
  uint16_t value2;
  uint32_t numerator;
  uint32_t denominator;
  uint16_t value3;
  uint16_t value4;
  uint32_t value5;
  uint8_t motorola;
  uint8_t direction;
  uint16_t reserved30;
};
static_assert(sizeof(RampRecord) == 32);
static_assert(offsetof(RampRecord, mode) == 4);
static_assert(offsetof(RampRecord, value1) == 8);
static_assert(offsetof(RampRecord, numerator) == 12);
static_assert(offsetof(RampRecord, value3) == 20);
static_assert(offsetof(RampRecord, value5) == 24);
static_assert(offsetof(RampRecord, motorola) == 28);
// A delete sends the record up to the signal's bit.
constexpr size_t kDeleteLength = offsetof(RampRecord, size);

struct SignalPlace {
  uint8_t byteIndex = 0;
  uint8_t bitInByte = 0;
  uint8_t size = 0;
  uint8_t motorola = 0;
};

uint32_t placeSignal(const kit::Call& call, const Qor_Common_Signal_t& signal, SignalPlace& place) {
  return Qor_Common_Signal_CheckAndTranslate(call.port(), &signal, &place.byteIndex, &place.bitInByte, &place.size,
                                             &place.motorola);
}

uint32_t defineRamp(const kit::Call& call, const Qor_Lin_Ramp_t* ramp) {
  if (uint32_t code = call.checkPointer(ramp, "ramp")) return code;
  if (ramp->reserved3 != 0) return call.fail(GeneralError::InvalidParameter, "reserved bytes have to be zero");
  if (ramp->mode > QOR_LIN_RAMP_MODE_MAX) return call.fail(GeneralError::UnknownMode, "unknown ramp mode");
  SignalPlace place;
  if (uint32_t code = placeSignal(call, ramp->signal, place)) return code;
  RampRecord record{};
  Qor_Internal_Math_Float64_Decimal2Fraction(&record.numerator, &record.denominator, ramp->ratio);
  if (ramp->direction > 1) return call.fail(GeneralError::InvalidParameter, "invalid ramp direction");
  record.frameId = ramp->frameId;
  record.mode = kit::firmwareRampMode(ramp->mode);
  record.byteIndex = place.byteIndex;
  record.bitInByte = place.bitInByte;
  record.size = place.size;
  record.value1 = ramp->value1;
  record.value2 = ramp->value2;
  record.value3 = ramp->value3;
  record.value4 = ramp->value4;
  record.value5 = ramp->value5;
  record.motorola = place.motorola != 0 ? 1 : 0;
  record.direction = ramp->direction;
  kit::RecordWriter writer(sizeof record);
  writer.record(record);
  return call.send(kRampCommand, writer);
}

uint32_t deleteRamp(const kit::Call& call, uint8_t frameId, const Qor_Common_Signal_t& signal) {
  SignalPlace place;
  if (uint32_t code = placeSignal(call, signal, place)) return code;
  RampRecord record{};
  record.frameId = frameId;
  record.mode = kDeleteRamp;
  record.byteIndex = place.byteIndex;
  record.bitInByte = place.bitInByte;
  kit::RecordWriter writer(kDeleteLength);
  writer.bytes(&record, kDeleteLength);
  return call.send(kRampCommand, writer);
}

// {frame id, byte index, bit in byte, 0}: the address of a ramp.
kit::RecordWriter rampAddress(uint8_t frameId, const SignalPlace& place) {
  kit::RecordWriter record(4);
  record.u8(frameId).u8(place.byteIndex).u8(place.bitInByte).u8(0);
  return record;
}

uint32_t resetRampSum(const kit::Call& call, uint8_t frameId, const Qor_Common_Signal_t& signal) {
  SignalPlace place;
  if (uint32_t code = placeSignal(call, signal, place)) return code;
  return call.send(kResetSumCommand, rampAddress(frameId, place));
}

uint32_t getRampState(const kit::Call& call, uint8_t frameId, const Qor_Common_Signal_t& signal, uint32_t* state,
                      uint32_t* value) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  SignalPlace place;
  if (uint32_t code = placeSignal(call, signal, place)) return code;
  const kit::RecordWriter address = rampAddress(frameId, place);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 0, address, answer, kStateAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateAnswerCapacity)) return call.shortAnswer(reader);
  const auto sent = address.view();
  if (reader.u8(0) != sent[0] || reader.u8(1) != sent[1] || reader.u8(2) != sent[2]) {
    return call.fail(GeneralError::InvalidResponseParameter, "ramp not found");
  }
  *state = reader.u8(3) & 0x03u;
  *value = reader.u32(4);
  return 0;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_FrameResponses_Ramp_Define(uint32_t port, const Qor_Lin_Ramp_t* ramp) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::defineRamp(call, ramp);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_Ramp_Delete(uint32_t port, uint8_t frameId, Qor_Common_Signal_t signal) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::deleteRamp(call, frameId, signal);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_Ramp_ResetRampSum(uint32_t port, uint8_t frameId, Qor_Common_Signal_t signal) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::resetRampSum(call, frameId, signal);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_Ramp_GetState(uint32_t port, uint8_t frameId, Qor_Common_Signal_t signal,
                                              uint32_t* state, uint32_t* value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::getRampState(call, frameId, signal, state, value);
} catch (...) {
  return kLin.failedCall(port);
}
