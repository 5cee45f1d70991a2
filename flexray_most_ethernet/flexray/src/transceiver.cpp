// The transceiver mode and the bus termination (command 0x22, answers of at most 12 bytes).
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_node.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {
namespace {

constexpr uint8_t kTransceiverCommand = 0x22;
constexpr uint32_t kTransceiverAnswerCapacity = 12;
// Termination records are matched on one byte, mode records on two.
constexpr uint8_t kTerminationControlBytes = 1, kModeControlBytes = 2;

enum SubFunction : uint32_t {
  kTerminationOn = 0,
  kTerminationOff = 1,
  kSetMode = 5,
  kGetMode = 6,
};

constexpr size_t kModeAnswerBytes = 6;

uint32_t termination(const kit::Call& call, uint32_t subFunction) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(subFunction);
  std::vector<uint8_t> answer;
  return call.exchange(kTransceiverCommand, kTerminationControlBytes, record, answer, kTransceiverAnswerCapacity);
}

uint32_t setMode(const kit::Call& call, const Qor_FlexRay_TransceiverModeSetting_t* setting) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(setting, "setting")) return code;
  if (uint32_t code = call.checkFlags(setting->flags, QOR_FLEXRAY_TRANSCEIVER_FLAGS)) return code;
  if (uint32_t code = call.checkReserved(setting->reserved, "reserved bytes have to be 0")) return code;
  if (setting->mode > QOR_FLEXRAY_MAX_TRANSCEIVER_MODE) {
    return call.fail(kit::GeneralError::InvalidParameter, "unknown transceiver mode");
  }
  kit::RecordWriter record(12);
  record.u32(kSetMode).u8(static_cast<uint8_t>(setting->flags)).zeros(3).u8(setting->value).u8(setting->mode).u16(0);
  std::vector<uint8_t> answer;
  return call.exchange(kTransceiverCommand, kModeControlBytes, record, answer, kTransceiverAnswerCapacity);
}

uint32_t getMode(const kit::Call& call, Qor_FlexRay_TransceiverMode_t* mode) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(mode, "mode")) return code;
  kit::RecordWriter record(4);
  record.u32(kGetMode);
  std::vector<uint8_t> answer;
  if (uint32_t code =
          call.exchange(kTransceiverCommand, kModeControlBytes, record, answer, kTransceiverAnswerCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(kModeAnswerBytes)) return call.shortAnswer(reader);
  mode->value = reader.u8(4);
  mode->mode = reader.u8(5);
  mode->reserved = 0;
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;
namespace fr = qor::flexray;

uint32_t Qor_FlexRay_Node_BusTermination_Enable(uint32_t port) try {
  return fr::termination(Call(kFlexRay, port), fr::kTerminationOn);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Node_BusTermination_Disable(uint32_t port) try {
  return fr::termination(Call(kFlexRay, port), fr::kTerminationOff);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Node_SetTransceiverMode(uint32_t port, const Qor_FlexRay_TransceiverModeSetting_t* setting) try {
  return fr::setMode(Call(kFlexRay, port), setting);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Node_GetTransceiverMode(uint32_t port, Qor_FlexRay_TransceiverMode_t* mode) try {
  return fr::getMode(Call(kFlexRay, port), mode);
} catch (...) {
  return kFlexRay.failedCall(port);
}
