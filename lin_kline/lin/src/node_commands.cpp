// The node's baud rate, checksum model, wake-up and go-to-sleep: one command each, acknowledged without data.
#include <cstdint>

#include "lin_commands.hpp"
#include "lin_library.hpp"
#include "qor_lin_node.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kChecksumModelCommand = 0x15;
constexpr uint8_t kWakeUpCommand = 0x24;
constexpr uint8_t kGoToSleepCommand = 0x26;
constexpr uint8_t kBaudRateCommand = 0x40;
constexpr size_t kChecksumModelHead = 4;

uint32_t setChecksumModel(const kit::Call& call, uint32_t flags, uint8_t model, uint8_t count,
                          const uint8_t* frameIds) {
  if (flags > QOR_LIN_CHECKSUM_ALL_FRAMES) return call.fail(GeneralError::UnknownFlag, "0x%x", flags);
  if (model > QOR_LIN_CHECKSUM_MODEL_MAX) {
    return call.fail(GeneralError::InvalidParameter, "checksum model '0x%x' is unknown", model);
  }
  const bool allFrames = (flags & QOR_LIN_CHECKSUM_ALL_FRAMES) != 0;
  if (!allFrames && count != 0) {
    if (uint32_t code = call.checkPointer(frameIds, "frameIds")) return code;
  }
  kit::RecordWriter record(kChecksumModelHead + UINT8_MAX);
  record.u8(model).u8(count).u8(allFrames ? 1 : 0).u8(0);
  if (!allFrames) record.bytes(frameIds, count);
  return call.send(kChecksumModelCommand, record);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_Node_SetBaudRate(uint32_t port, uint32_t baudRate) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendWord(call, qor::lin::kBaudRateCommand, baudRate);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_SetChecksumModel(uint32_t port, uint32_t flags, uint8_t model, uint8_t count,
                                       const uint8_t* frameIds) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::setChecksumModel(call, flags, model, count, frameIds);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_SendWakeUp(uint32_t port, uint32_t durationNs) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendWord(call, qor::lin::kWakeUpCommand, qor::lin::ticksOf(durationNs));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_SendGoToSleep(uint32_t port) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return call.send(qor::lin::kGoToSleepCommand, qor::kit::RecordWriter(0));
} catch (...) {
  return kLin.failedCall(port);
}
