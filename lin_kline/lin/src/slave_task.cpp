// The slave task's two parameters: whether it answers (command 0x25) and its break detection threshold (0x46).
#include <cstdint>

#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_schedule.h"

namespace qor::lin {
namespace {

constexpr uint8_t kCommunicationStateCommand = 0x25;
constexpr uint8_t kBreakDetectionCommand = 0x46;

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_SlaveTask_SetSlaveCommunicationState(uint32_t port, uint8_t state) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  if (state > 1) return call.fail(qor::kit::GeneralError::InvalidParameter, "the state '0x%x' is unknown", state);
  return qor::lin::sendByteRecord(call, qor::lin::kCommunicationStateCommand, state);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_SlaveTask_SetBreakDetectionThreshold(uint32_t port, uint16_t threshold) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  qor::kit::RecordWriter record(sizeof threshold);
  record.u16(threshold);
  return call.send(qor::lin::kBreakDetectionCommand, record);
} catch (...) {
  return kLin.failedCall(port);
}
