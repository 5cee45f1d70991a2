// INIC function requests (command 0x21, selector 1): queued to the INIC, or queued and waited for until their report
// is complete; the network start-up and shut-down as ready-made requests.
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "inic_report.hpp"
#include "most_library.hpp"
#include "qor_kit/poll.hpp"
#include "qor_most_inic.h"

namespace qor::most {
namespace {

constexpr uint8_t kRequest = 1;
constexpr uint32_t kHeadBytes = 12;
constexpr uint32_t kPollIntervalMs = 1;

uint32_t queueRequest(const kit::Call& call, uint16_t functionId, uint8_t operationType, uint8_t instanceId,
                      const uint8_t* data, uint32_t length) {
  if (length > 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
  }
  if (uint32_t code = checkDataLength(call, kHeadBytes, length, QOR_MOST_INIC_DATA_MAX)) return code;
  if (uint32_t code = checkOperationType(call, operationType)) return code;
  kit::RecordWriter record(kHeadBytes + size_t{length});
  record.u8(kRequest).u8(0).u16(0).u16(functionId).u8(operationType).u8(instanceId);
  record.u16(static_cast<uint16_t>(length)).u16(0).bytes(data, length);
  std::vector<uint8_t> answer;
  return call.exchange(kInicCommand, 1, record, answer);
}

uint32_t queueChecked(const kit::Call& call, uint16_t functionId, uint8_t operationType, uint8_t instanceId,
                      const uint8_t* data, uint32_t length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return queueRequest(call, functionId, operationType, instanceId, data, length);
}

// The outcome of the last read decides: a complete report is success even when the time ran out with that read.
uint32_t request(const kit::Call& call, uint32_t timeoutMs, uint16_t functionId, uint8_t operationType,
                 const uint8_t* data, uint32_t length, Qor_Most_Inic_Result_t* result, uint8_t* reportData,
                 uint32_t* reportLength) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  if (uint32_t code = call.checkPointer(reportLength, "reportLength")) return code;
  if (*reportLength > 0) {
    if (uint32_t code = call.checkPointer(reportData, "reportData")) return code;
  }
  if (uint32_t code = queueRequest(call, functionId, operationType, 0, data, length)) return code;
  std::vector<uint8_t> answer;
  InicReport report{};
  uint32_t status = 0;
  const std::optional<uint32_t> done =
      kit::pollUntil(timeoutMs, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
        if (uint32_t code = readInicReport(call, answer, report)) return code;
        if (uint32_t code = translateStatus(call, report.firmwareStatus, &status)) return code;
        return (report.state & QOR_MOST_INIC_STATE_PENDING) == 0 ? std::optional<uint32_t>(0) : std::nullopt;
      });
  if (done && *done != 0) return *done;
  result->state = report.state;
  result->reserved = 0;
  if (!done) return call.fail(kit::GeneralError::UserTimeout, "INIC request timeout!");
  result->status = status;
  result->functionId = report.functionId;
  result->operationType = report.operationType;
  if (report.data.size() > *reportLength) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "Bytes needed: %zu", report.data.size());
  }
  std::ranges::copy(report.data, reportData);
  *reportLength = static_cast<uint32_t>(report.data.size());
  return 0;
}

uint32_t networkRequest(const kit::Call& call, uint32_t timeoutMs, uint16_t functionId,
                        Qor_Most_Inic_Result_t* result, uint8_t* reportData, uint32_t* reportLength) {
  return request(call, timeoutMs, functionId, QOR_MOST_INIC_OPERATION_START_RESULT, nullptr, 0, result, reportData,
                 reportLength);
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Inic_QueueRequest(uint32_t port, uint16_t functionId, uint8_t operationType, uint8_t instanceId,
                                    const uint8_t* data, uint32_t length) try {
  return qor::most::queueChecked(Call(kMost, port), functionId, operationType, instanceId, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_Request(uint32_t port, uint32_t timeout, uint16_t functionId, uint8_t operationType,
                               const uint8_t* data, uint32_t length, Qor_Most_Inic_Result_t* result,
                               uint8_t* reportData, uint32_t* reportLength) try {
  return qor::most::request(Call(kMost, port), timeout, functionId, operationType, data, length, result, reportData,
                            reportLength);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_Request_NwStartup_StartResult(uint32_t port, uint32_t timeout, Qor_Most_Inic_Result_t* result,
                                                     uint8_t* reportData, uint32_t* reportLength) try {
  return qor::most::networkRequest(Call(kMost, port), timeout, QOR_MOST_INIC_FUNCTION_NETWORK_STARTUP, result,
                                   reportData, reportLength);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Inic_Request_NwShutdown_StartResult(uint32_t port, uint32_t timeout,
                                                      Qor_Most_Inic_Result_t* result, uint8_t* reportData,
                                                      uint32_t* reportLength) try {
  return qor::most::networkRequest(Call(kMost, port), timeout, QOR_MOST_INIC_FUNCTION_NETWORK_SHUTDOWN, result,
                                   reportData, reportLength);
} catch (...) {
  return kMost.failedCall(port);
}
