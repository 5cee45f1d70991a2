#include "frame_slots.hpp"

#include <vector>

#include "lin_library.hpp"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint32_t kStateAnswerCapacity = 12;
constexpr size_t kStateOffset = 4;
constexpr uint8_t kKeyBytes = 2;

}  // namespace

uint32_t checkFrameCount(const kit::Call& call, uint32_t headBytes, uint16_t count, uint32_t* parameterLength) {
  if (uint32_t code = call.parameterLength(parameterLength)) return code;
  const uint32_t maximum = *parameterLength > headBytes ? (*parameterLength - headBytes) / sizeof(uint32_t) : 0;
  if (count > maximum) {
    return call.fail(GeneralError::InvalidParameter, "maximum number of unconditional frames = %u", maximum);
  }
  return 0;
}

uint32_t sendFrameList(const kit::Call& call, uint8_t command, kit::RecordWriter& record, uint16_t count,
                       const uint8_t* frameIds) {
  if (count != 0) {
    if (uint32_t code = call.checkPointer(frameIds, "frameIds")) return code;
  }
  for (size_t index = 0; index < count; ++index) record.u32(frameIds[index]);
  return call.send(command, record);
}

uint32_t sendActivation(const kit::Call& call, uint8_t command, uint8_t frameId, bool active, uint8_t option) {
  kit::RecordWriter record(4);
  record.u8(frameId).u8(active ? 1 : 0).u8(option).u8(0);
  return call.send(command, record);
}

uint32_t readSlotState(const kit::Call& call, uint8_t command, uint8_t frameId, uint8_t selector, uint32_t* state) {
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  *state = 0;
  kit::RecordWriter record(8);
  record.u8(frameId).zeros(3).u8(selector).zeros(3);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(command, kKeyBytes, record, answer, kStateAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kStateOffset + 1)) return call.shortAnswer(reader);
  *state = reader.u8(kStateOffset) & 1u;
  return 0;
}

}  // namespace qor::lin
