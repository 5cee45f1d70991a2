// Configuration mode, communication, start-up and wake-up (command 0x20): records of a sub-function and at most a
// few values.
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_node.h"
#include "qor_kit/answer_reader.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {
namespace {

enum SubFunction : uint32_t {
  kStartupConfig = 2,
  kConfigModeEnter = 5,
  kConfigModeLeave = 6,
  kCommunicationStart = 7,
  kCommunicationStop = 8,
  kStartupInfo = 17,
  kWakeUp = 28,
};

constexpr size_t kStartupInfoBytes = 9;

uint32_t sendSubFunction(const kit::Call& call, uint32_t subFunction) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(subFunction);
  return exchangeController(call, record);
}

uint32_t stop(const kit::Call& call, uint8_t mode) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (mode > QOR_FLEXRAY_MAX_STOP_MODE) {
    return call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  }
  kit::RecordWriter record(8);
  record.u32(kCommunicationStop).u8(mode).zeros(3);
  return exchangeController(call, record);
}

uint32_t startupConfig(const kit::Call& call, uint32_t flags, uint16_t firstValue, uint16_t secondValue,
                       uint8_t thirdValue) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if ((flags & ~QOR_FLEXRAY_STARTUP_FLAGS) != 0) return call.fail(kit::GeneralError::InvalidParameter, "unknown flag");
  kit::RecordWriter record(12);
  record.u32(kStartupConfig).u16(firstValue).u16(secondValue).u8(thirdValue);
  record.u8(flags & 1u).u8((flags >> 1) & 1u).u8(0);
  return exchangeController(call, record);
}

// A failed or short answer sets the flags to 0 and leaves the values.
uint32_t startupInfo(const kit::Call& call, uint16_t* firstValue, uint8_t* secondValue, uint32_t* flags) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(firstValue, "firstValue")) return code;
  if (uint32_t code = call.checkPointer(secondValue, "secondValue")) return code;
  if (uint32_t code = call.checkPointer(flags, "flags")) return code;
  kit::RecordWriter record(4);
  record.u32(kStartupInfo);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) {
    *flags = 0;
    return code;
  }
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStartupInfoBytes)) {
    *flags = 0;
    return call.shortAnswer(reader);
  }
  *firstValue = reader.u16(4);
  *secondValue = reader.u8(6);
  *flags = reader.u8(8) & QOR_FLEXRAY_STARTUP_FLAGS;
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;
namespace fr = qor::flexray;

uint32_t Qor_FlexRay_ConfigMode_Enter(uint32_t port) try {
  return fr::sendSubFunction(Call(kFlexRay, port), fr::kConfigModeEnter);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_ConfigMode_Leave(uint32_t port) try {
  return fr::sendSubFunction(Call(kFlexRay, port), fr::kConfigModeLeave);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Communication_Start(uint32_t port) try {
  return fr::sendSubFunction(Call(kFlexRay, port), fr::kCommunicationStart);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Communication_Stop(uint32_t port, uint8_t mode) try {
  return fr::stop(Call(kFlexRay, port), mode);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Node_SendWakeUp(uint32_t port) try {
  return fr::sendSubFunction(Call(kFlexRay, port), fr::kWakeUp);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Startup_Config(uint32_t port, uint32_t flags, uint16_t firstValue, uint16_t secondValue,
                                    uint8_t thirdValue) try {
  return fr::startupConfig(Call(kFlexRay, port), flags, firstValue, secondValue, thirdValue);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Startup_GetInfo(uint32_t port, uint16_t* firstValue, uint8_t* secondValue, uint32_t* flags) try {
  return fr::startupInfo(Call(kFlexRay, port), firstValue, secondValue, flags);
} catch (...) {
  return kFlexRay.failedCall(port);
}
