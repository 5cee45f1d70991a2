// The INIC's report, synchronous and through the asynchronous triple. A report's data must lie whole within the
// answer: the length it announces is checked against the bytes received.
#include "inic_report.hpp"

#include <algorithm>
#include <optional>
#include <utility>

#include "most_library.hpp"
#include "qor_api.h"
#include "qor_kit/async_family.hpp"
#include "qor_most_inic.h"

namespace qor::most {
namespace {

constexpr uint8_t kReadReport = 2;
constexpr size_t kReportHeadBytes = 20;
constexpr const char* kAsyncFunction = "Qor_Most_Inic_GetReport_Async";

kit::AsyncFamily reportFamily() { return kit::AsyncFamily(kInicCommand, {kReadReport}, 0); }

kit::RecordWriter reportRequest() {
  kit::RecordWriter record(4);
  record.u8(kReadReport).u8(0).u16(0);
  return record;
}

std::optional<InicReport> decodeReport(std::span<const uint8_t> bytes) {
  const kit::AnswerReader answer(bytes);
  if (!answer.has(kReportHeadBytes)) return std::nullopt;
  const std::span<const uint8_t> data = answer.bytes(kReportHeadBytes, answer.u16(16));
  if (!answer.complete()) return std::nullopt;
  return InicReport{answer.u8(4) & QOR_MOST_INIC_STATE_BITS, answer.u32(8), answer.u16(12), answer.u8(14),
                    answer.u8(15), data};
}

uint32_t getReport(const kit::Call& call, uint32_t* state, uint32_t* status, uint16_t* functionId,
                   uint8_t* operationType, uint8_t* instanceId, uint8_t* data, uint32_t* length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  for (const auto& [pointer, name] : {std::pair<const void*, const char*>{state, "state"}, {status, "status"},
                                      {functionId, "functionId"}, {operationType, "operationType"},
                                      {instanceId, "instanceId"}, {length, "length"}}) {
    if (uint32_t code = call.checkPointer(pointer, name)) return code;
  }
  if (*length > 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  std::vector<uint8_t> answer;
  InicReport report{};
  if (uint32_t code = readInicReport(call, answer, report)) return code;
  if (report.data.size() > *length) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %zu", report.data.size());
  }
  *state = report.state;
  if (uint32_t code = translateStatus(call, report.firmwareStatus, status)) return code;
  *functionId = report.functionId;
  *operationType = report.operationType;
  *instanceId = report.instanceId;
  *length = static_cast<uint32_t>(report.data.size());
  std::ranges::copy(report.data, data);
  return 0;
}

// A bad handle too is "wrong interface type" here.
uint32_t requestReport(const kit::Call& call) {
  if ((Qor_GetInterfaceType(call.port()) & 0xFFu) != kMostInterfaceType) {
    return call.fail(kit::GeneralError::WrongInterfaceType, "MOST Interface expected");
  }
  return reportFamily().request(call, reportRequest());
}

// On the port's callback thread.
void reportRelay(uint32_t port, void* context, const uint8_t* bytes, uint32_t length) {
  const std::optional<InicReport> report = decodeReport(std::span(bytes, length));
  if (!report) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  uint32_t status = 0;
  if (uint32_t code = translateStatus(kit::Call(kMost, port), report->firmwareStatus, &status)) {
    kit::reportRelayFailure(port, code, kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Inic_GetReportCallback_t>(context)(
      port, report->state, status, report->functionId, report->operationType, report->instanceId,
      report->data.data(), static_cast<uint16_t>(report->data.size()));
}

uint32_t addReportCallback(const kit::Call& call, Qor_Most_Inic_GetReportCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return reportFamily().add(call.port(), reportRelay, callback);
}

uint32_t removeReportCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return reportFamily().remove(call.port());
}

}  // namespace

uint32_t readInicReport(const kit::Call& call, std::vector<uint8_t>& answer, InicReport& report) {
  if (uint32_t code = call.exchange(kInicCommand, 1, reportRequest(), answer)) return code;
  const std::optional<InicReport> decoded = decodeReport(answer);
  if (!decoded) return shortAnswer(call, answer.size());
  report = *decoded;
  return 0;
}

}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Inic_GetReport(uint32_t port, uint32_t* state, uint32_t* status, uint16_t* functionId,
                                 uint8_t* operationType, uint8_t* instanceId, uint8_t* data, uint32_t* length) try {
  return qor::most::getReport(Call(kMost, port), state, status, functionId, operationType, instanceId, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetReport_Async(uint32_t port) try {
  return qor::most::requestReport(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetReport_Async_AddCallback(uint32_t port, Qor_Most_Inic_GetReportCallback_t callback) try {
  return qor::most::addReportCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_GetReport_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removeReportCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}
