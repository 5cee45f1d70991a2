// Starting and stopping a TAR unit and reading its state.
#include "can_library.hpp"
#include "qor_can_tar.h"

namespace qor::can {
namespace {

constexpr uint8_t kStartCommand = 0xC3;
constexpr uint8_t kStopCommand = 0xC4;
constexpr uint8_t kStateCommand = 0xC5;
constexpr uint8_t kHighestStartMode = 1;
constexpr uint32_t kStateAnswerLength = 12;

kit::RecordWriter unitRecord(uint8_t index, uint8_t second = 0) {
  kit::RecordWriter record(4);
  record.u8(index).u8(second).u16(0);
  return record;
}

// The firmware's run states 0, 1 and 2 are the API's 1, 2 and 3; 0 stands for any other.
uint8_t runStateOf(uint8_t firmwareState) { return firmwareState <= 2 ? static_cast<uint8_t>(firmwareState + 1) : 0; }

uint32_t start(const kit::Call& call, uint8_t index, uint8_t mode) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > kHighestStartMode) return call.fail(kit::GeneralError::UnknownMode, "mode '%u' is unknown", mode);
  return call.send(kStartCommand, unitRecord(index, mode));
}

uint32_t stop(const kit::Call& call, uint8_t index) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return call.send(kStopCommand, unitRecord(index));
}

uint32_t readState(const kit::Call& call, uint8_t index, uint8_t* runState, uint32_t* stateFlags, uint32_t* firstValue,
                   uint32_t* secondValue) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(runState, "runState")) return code;
  if (uint32_t code = call.checkPointer(stateFlags, "stateFlags")) return code;
  if (uint32_t code = call.checkPointer(firstValue, "firstValue")) return code;
  if (uint32_t code = call.checkPointer(secondValue, "secondValue")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kStateCommand, 0, unitRecord(index), answer, kStateAnswerLength)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateAnswerLength)) return call.shortAnswer(reader);
  *runState = runStateOf(reader.u8(1));
  *stateFlags = reader.u8(3) & 0x03u;
  *firstValue = reader.u32(4);
  *secondValue = reader.u32(8);
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Tar_Start(uint32_t port, uint8_t index, uint8_t mode) try {
  return qor::can::start(qor::kit::Call(kCan, port), index, mode);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_Stop(uint32_t port, uint8_t index) try {
  return qor::can::stop(qor::kit::Call(kCan, port), index);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_GetState(uint32_t port, uint8_t index, uint8_t* runState, uint32_t* stateFlags,
                              uint32_t* firstValue, uint32_t* secondValue) try {
  return qor::can::readState(qor::kit::Call(kCan, port), index, runState, stateFlags, firstValue, secondValue);
} catch (...) {
  return kCan.failedCall(port);
}
