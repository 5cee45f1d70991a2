#include <vector>

#include "common_library.hpp"
#include "controller_answers.hpp"
#include "controller_requests.hpp"
#include "qor_common_controller.h"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

uint32_t readInterfaceAnswer(const kit::Call& call, std::vector<uint8_t>& answer) {
  return call.exchange(kInterfaceInfoCommand, 0, kit::RecordWriter(0), answer, kInterfaceAnswerCapacity);
}

uint32_t interfaceInfo(const kit::Call& call, Qor_Common_InterfaceInfo_t* info) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = readInterfaceAnswer(call, answer)) return code;
  Qor_Common_InterfaceInfo_t decoded;
  if (!decodeInterfaceInfo(answer, decoded)) return call.shortAnswer(kit::AnswerReader(answer));
  *info = decoded;
  return 0;
}

uint32_t currentTransceiver(const kit::Call& call, uint32_t flags, Qor_Common_CurrentTransceiver_t* info) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkFlags(flags, 0)) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = readInterfaceAnswer(call, answer)) return code;
  const std::optional<CurrentTransceiver> current = decodeCurrentTransceiver(answer);
  if (!current) return call.shortAnswer(kit::AnswerReader(answer));
  if (!current->valid) {
    return call.fail(kCommon.code(kFunctionNotAvailable), "this funtion is not supported by the device");
  }
  *info = current->record;
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_GetInterfaceInfo(uint32_t port, Qor_Common_InterfaceInfo_t* info) try {
  return qor::common::interfaceInfo(qor::kit::Call(kCommon, port), info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetTransceiverInfoForCurrentInterface(uint32_t port, uint32_t flags,
                                                          Qor_Common_CurrentTransceiver_t* info) try {
  return qor::common::currentTransceiver(qor::kit::Call(kCommon, port), flags, info);
} catch (...) {
  return kCommon.failedCall(port);
}
