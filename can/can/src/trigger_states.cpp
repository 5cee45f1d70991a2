// The states of the trigger input and output (commands 0x5C and 0x5D) and their channel property (0x5E and 0x5F).
#include "can_library.hpp"
#include "qor_can_triggers.h"
#include "qor_kit/property_by_id.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kInputStateCommand = 0x5C;
constexpr uint8_t kOutputStateCommand = 0x5D;
constexpr uint32_t kInputStateLength = 8;
constexpr uint32_t kOutputStateLength = 12;
constexpr uint8_t kOnlyChannel = 1;

// The firmware counts the channel index from 0 and keeps it as its property 0.
constexpr uint32_t kFirmwareChannelIndexProperty = 0;
constexpr kit::PropertyById kInputProperty{0x5E, 0, 1, kit::PropertyById::IdField::Word, 12, 8};
constexpr kit::PropertyById kOutputProperty{0x5F, 0, 1, kit::PropertyById::IdField::Word, 12, 8};

struct TriggerState {
  uint8_t active;
  uint8_t level;
  uint32_t value;
  uint32_t secondValue;
};

// The selector names the one channel; the request itself carries none.
uint32_t readState(const kit::Call& call, uint8_t command, uint32_t answerLength,
                   const Qor_Can_Trigger_Selector_t* selector, TriggerState* state) {
  if (uint32_t code = call.checkPointer(selector, "selector")) return code;
  if (uint32_t code = call.checkReserved(selector->reserved, "reserved bytes must be zero")) return code;
  if (selector->channel != kOnlyChannel) return call.fail(kit::GeneralError::UnknownMode);
  kit::RecordWriter record(4);
  record.u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(command, 0, record, answer, answerLength)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(answerLength)) return call.shortAnswer(reader);
  const uint8_t level = reader.u8(1);
  state->active = reader.u8(0) == 0 ? 1 : 0;
  state->level = level <= 1 ? static_cast<uint8_t>(level + 1) : 0;
  state->value = reader.u32(4);
  state->secondValue = answerLength >= kOutputStateLength ? reader.u32(8) : 0;
  return 0;
}

uint32_t checkProperty(const kit::Call& call, uint16_t property) {
  return property != QOR_CAN_TRIGGER_PROPERTY_CHANNEL_INDEX
             ? call.fail(kit::GeneralError::InvalidParameter, "property id is unknown")
             : 0;
}

uint32_t setChannelIndex(uint32_t port, const kit::PropertyById& property, uint16_t id, uint32_t channelIndex,
                         const char* zeroIndexText) {
  const kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkProperty(call, id)) return code;
  if (channelIndex == 0) return call.fail(kit::GeneralError::InvalidParameter, "%s", zeroIndexText);
  return property.set(call, kFirmwareChannelIndexProperty, channelIndex - 1);
}

uint32_t readChannelIndex(uint32_t port, const kit::PropertyById& property, uint16_t id, uint32_t* channelIndex) {
  const kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(channelIndex, "channelIndex")) return code;
  if (uint32_t code = checkProperty(call, id)) return code;
  uint32_t firmwareIndex = 0;
  if (uint32_t code = property.read(call, kFirmwareChannelIndexProperty, &firmwareIndex)) return code;
  *channelIndex = firmwareIndex + 1;
  return 0;
}

}  // namespace
}  // namespace qor::can

using namespace qor::can;

uint32_t Qor_Can_Trigger_InputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                        Qor_Can_Trigger_InputState_t* state) try {
  const qor::kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  TriggerState read{};
  if (uint32_t code = readState(call, kInputStateCommand, kInputStateLength, selector, &read)) return code;
  *state = {read.active, read.level, 0, read.value};
  return 0;
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_OutputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                         Qor_Can_Trigger_OutputState_t* state) try {
  const qor::kit::Call call(kCan, port);
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  TriggerState read{};
  if (uint32_t code = readState(call, kOutputStateCommand, kOutputStateLength, selector, &read)) return code;
  *state = {read.active, read.level, 0, read.value, read.secondValue};
  return 0;
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Input_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex) try {
  return setChannelIndex(port, kInputProperty, property, channelIndex, "channel index must not be zero");
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Output_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex) try {
  return setChannelIndex(port, kOutputProperty, property, channelIndex, "software out channel index starting with '1'");
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Input_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex) try {
  return readChannelIndex(port, kInputProperty, property, channelIndex);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Output_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex) try {
  return readChannelIndex(port, kOutputProperty, property, channelIndex);
} catch (...) {
  return kCan.failedCall(port);
}
