#include <vector>

#include "common_library.hpp"
#include "controller_answers.hpp"
#include "controller_requests.hpp"
#include "qor_api.h"
#include "qor_common_controller.h"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

constexpr uint32_t kInterfaceNumberAnswerCapacity = 4;

uint32_t controllerInfo(const kit::Call& call, Qor_Common_ControllerInfo_t* info) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kControllerQueryCommand, 0, controllerQuery(kControllerInfoQuery), answer)) {
    return code;
  }
  Qor_Common_ControllerInfo_t decoded;
  if (!decodeControllerInfo(answer, Qor_GetHostInterfaceType(call.port()), decoded)) {
    return call.shortAnswer(kit::AnswerReader(answer));
  }
  *info = decoded;
  return 0;
}

uint32_t interfaceNumber(const kit::Call& call, const Qor_Common_InterfaceNumberRequest_t* request,
                         Qor_Common_InterfaceNumberResult_t* result) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkFlags(request->flags, 0)) return code;
  if (uint32_t code = call.checkReserved(request->reserved, "reserved bytes have to be zero")) return code;
  kit::RecordWriter record(8);
  record.u32(kInterfaceNumberQuery).u8(firmwareInterfaceType(request->interfaceType)).u8(request->index).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kControllerQueryCommand, 1, record, answer, kInterfaceNumberAnswerCapacity)) {
    return code;
  }
  const kit::AnswerReader reader(answer);
  const uint8_t number = reader.u8(1);
  if (!reader.complete()) return call.shortAnswer(reader);
  *result = Qor_Common_InterfaceNumberResult_t{number, {0, 0, 0}};
  return 0;
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_GetControllerInfo(uint32_t port, Qor_Common_ControllerInfo_t* info) try {
  return qor::common::controllerInfo(qor::kit::Call(kCommon, port), info);
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_GetInterfaceNumber(uint32_t port, const Qor_Common_InterfaceNumberRequest_t* request,
                                       Qor_Common_InterfaceNumberResult_t* result) try {
  return qor::common::interfaceNumber(qor::kit::Call(kCommon, port), request, result);
} catch (...) {
  return kCommon.failedCall(port);
}
