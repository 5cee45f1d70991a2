// The states of the trigger input and output (commands 0x5C and 0x5D) and their channel property (0x5E and 0x5F).
#include "can_library.hpp"
#include "qor_can_triggers.h"
#include "qor_kit/property_by_id.hpp"

namespace qor::can {
namespace {

constexpr uint8_t kOnlyChannel = 1;

// The firmware counts the channel index from 0 and keeps it as its property 0.
constexpr uint32_t kFirmwareChannelIndexProperty = 0;
constexpr kit::PropertyById kInputProperty{0x5E, 0, 1, kit::PropertyById::IdField::Word, 12, 8};
constexpr kit::PropertyById kOutputProperty{0x5F, 0, 1, kit::PropertyById::IdField::Word, 12, 8};

// The command that reads a state record and the length of its answer, by the record.
struct StateQuery {
  uint8_t command;
  uint32_t answerLength;
};
constexpr StateQuery queryOf(const Qor_Can_Trigger_InputState_t*) { return {0x5C, 8}; }
constexpr StateQuery queryOf(const Qor_Can_Trigger_OutputState_t*) { return {0x5D, 12}; }

// Both answers begin alike: active (firmware 0 is active), level (firmware 0 and 1 are 1 and 2), value at 4.
template <class State>
State decodeState(const kit::AnswerReader& reader) {
  const uint8_t level = reader.u8(1);
  State state{};
  state.active = reader.u8(0) == 0 ? 1 : 0;
  state.level = level <= 1 ? static_cast<uint8_t>(level + 1) : 0;
  state.value = reader.u32(4);
  if constexpr (requires { state.secondValue; }) state.secondValue = reader.u32(8);
  return state;
}

// The selector names the one channel; the request itself carries none.
template <class State>
uint32_t readState(const kit::Call& call, const Qor_Can_Trigger_Selector_t* selector, State* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(selector, "selector")) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = call.checkReserved(selector->reserved, "reserved bytes must be zero")) return code;
  if (selector->channel != kOnlyChannel) return call.fail(kit::GeneralError::UnknownMode);
  const StateQuery query = queryOf(state);
  kit::RecordWriter record(4);
  record.u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(query.command, 0, record, answer, query.answerLength)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(query.answerLength)) return call.shortAnswer(reader);
  *state = decodeState<State>(reader);
  return 0;
}

uint32_t checkProperty(const kit::Call& call, uint16_t property) {
  return property != QOR_CAN_TRIGGER_PROPERTY_CHANNEL_INDEX
             ? call.fail(kit::GeneralError::InvalidParameter, "property id is unknown")
             : 0;
}

uint32_t setChannelIndex(const kit::Call& call, const kit::PropertyById& property, uint16_t id, uint32_t channelIndex,
                         const char* zeroIndexText) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkProperty(call, id)) return code;
  if (channelIndex == 0) return call.fail(kit::GeneralError::InvalidParameter, "%s", zeroIndexText);
  return property.set(call, kFirmwareChannelIndexProperty, channelIndex - 1);
}

uint32_t readChannelIndex(const kit::Call& call, const kit::PropertyById& property, uint16_t id,
                          uint32_t* channelIndex) {
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

using qor::can::kCan;

uint32_t Qor_Can_Trigger_InputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                        Qor_Can_Trigger_InputState_t* state) try {
  return qor::can::readState(qor::kit::Call(kCan, port), selector, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_OutputState_Get(uint32_t port, const Qor_Can_Trigger_Selector_t* selector,
                                         Qor_Can_Trigger_OutputState_t* state) try {
  return qor::can::readState(qor::kit::Call(kCan, port), selector, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Input_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex) try {
  return qor::can::setChannelIndex(qor::kit::Call(kCan, port), qor::can::kInputProperty, property, channelIndex,
                                   "channel index must not be zero");
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Output_Property_SetById(uint32_t port, uint16_t property, uint32_t channelIndex) try {
  return qor::can::setChannelIndex(qor::kit::Call(kCan, port), qor::can::kOutputProperty, property, channelIndex,
                                   "software out channel index starting with '1'");
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Input_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex) try {
  return qor::can::readChannelIndex(qor::kit::Call(kCan, port), qor::can::kInputProperty, property, channelIndex);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Trigger_Output_Property_GetById(uint32_t port, uint16_t property, uint32_t* channelIndex) try {
  return qor::can::readChannelIndex(qor::kit::Call(kCan, port), qor::can::kOutputProperty, property, channelIndex);
} catch (...) {
  return kCan.failedCall(port);
}
