// The bus-idle detection (command 0x48): its threshold (sub-function 0) and its state (1).
#include <cstdint>
#include <vector>

#include "lin_library.hpp"
#include "qor_lin_node.h"

namespace qor::lin {
namespace {

constexpr uint8_t kBusIdleCommand = 0x48;
constexpr uint32_t kSetThreshold = 0;
constexpr uint32_t kGetState = 1;
constexpr uint32_t kAnswerCapacity = 12;
constexpr size_t kStateOffset = 4;
constexpr size_t kValueOffset = 8;
constexpr uint8_t kStateBits = 0x03;

uint32_t setThreshold(const kit::Call& call, uint32_t flags, uint32_t threshold) {
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  kit::RecordWriter record(12);
  record.u32(kSetThreshold).u32(flags & 1u).u32(threshold);
  std::vector<uint8_t> answer;
  return call.exchange(kBusIdleCommand, 1, record, answer, kAnswerCapacity);
}

uint32_t getState(const kit::Call& call, uint32_t* state, uint32_t* value) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  kit::RecordWriter record(4);
  record.u32(kGetState);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kBusIdleCommand, 1, record, answer, kAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kValueOffset + sizeof(uint32_t))) return call.shortAnswer(reader);
  *state = reader.u8(kStateOffset) & kStateBits;
  *value = reader.u32(kValueOffset);
  return 0;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_BusIdleDetection_SetThreshold(uint32_t port, uint32_t flags, uint32_t threshold) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::setThreshold(call, flags, threshold);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_BusIdleDetection_GetState(uint32_t port, uint32_t* state, uint32_t* value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::getState(call, state, value);
} catch (...) {
  return kLin.failedCall(port);
}
