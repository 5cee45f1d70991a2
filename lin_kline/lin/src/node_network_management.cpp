// The network-management wake-up (command 0x49): sent at once (sub-function 0) or automatically (1).
#include <cstdint>
#include <vector>

#include "lin_library.hpp"
#include "qor_lin_node.h"

namespace qor::lin {
namespace {

constexpr uint8_t kWakeUpCommand = 0x49;
constexpr uint32_t kSendImmediately = 0;
constexpr uint32_t kSendAutomatically = 1;
constexpr uint32_t kAnswerCapacity = 16;
constexpr size_t kStateOffset = 4;
constexpr size_t kFirstResultOffset = 8;
constexpr size_t kSecondResultOffset = 12;

struct WakeUpResults {
  uint32_t state = 0;
  uint32_t first = 0;
  uint32_t second = 0;
};

// results: from the answer, which must hold `words` results after the state; all 0 on failure.
uint32_t exchangeWakeUp(const kit::Call& call, const kit::RecordWriter& record, size_t words, WakeUpResults& results) {
  results = {};
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kWakeUpCommand, 1, record, answer, kAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kFirstResultOffset + words * sizeof(uint32_t))) return call.shortAnswer(reader);
  results.state = reader.u8(kStateOffset) & 1u;
  results.first = reader.u32(kFirstResultOffset);
  if (words > 1) results.second = reader.u32(kSecondResultOffset);
  return 0;
}

uint32_t sendImmediately(const kit::Call& call, uint32_t value, uint32_t* state, uint32_t* result) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(result, "result")) return code;
  kit::RecordWriter record(8);
  record.u32(kSendImmediately).u32(value);
  WakeUpResults results;
  const uint32_t code = exchangeWakeUp(call, record, 1, results);
  *state = results.state;
  *result = results.first;
  return code;
}

uint32_t sendAutomatically(const kit::Call& call, uint32_t flags, uint32_t a, uint32_t b, uint32_t c, uint32_t* state,
                           uint32_t* result1, uint32_t* result2) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(result1, "result1")) return code;
  if (uint32_t code = call.checkPointer(result2, "result2")) return code;
  WakeUpResults results;
  uint32_t code = call.checkFlags(flags, 1);
  if (code == 0) {
    kit::RecordWriter record(20);
    record.u32(kSendAutomatically).u32(flags & 1u).u32(a).u32(b).u32(c);
    code = exchangeWakeUp(call, record, 2, results);
  }
  *state = results.state;
  *result1 = results.first;
  *result2 = results.second;
  return code;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_Nm_WakeUp_SendImmediately(uint32_t port, uint32_t value, uint32_t* state, uint32_t* result) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendImmediately(call, value, state, result);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Nm_WakeUp_SendAutomatically(uint32_t port, uint32_t flags, uint32_t a, uint32_t b, uint32_t c,
                                             uint32_t* state, uint32_t* result1, uint32_t* result2) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::sendAutomatically(call, flags, a, b, c, state, result1, result2);
} catch (...) {
  return kLin.failedCall(port);
}
