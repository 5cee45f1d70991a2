#include <vector>

#include "lin_library.hpp"
#include "qor_kit/property_by_id.hpp"
#include "qor_lin_triggers.h"
#include "trigger_channel.hpp"

namespace qor::lin {
namespace {

constexpr uint8_t kInputConfigCommand = 0x5A;
constexpr uint8_t kInputStateCommand = 0x5C;
constexpr uint8_t kInputPropertyCommand = 0x5E;
constexpr uint8_t kLastMode = 2;
constexpr uint8_t kLastEdgeSelection = 2;
constexpr uint32_t kStateCapacity = 8;
constexpr size_t kLevelOffset = 1;
constexpr size_t kValueOffset = 4;
constexpr uint16_t kChannelProperty = 1;
constexpr uint32_t kFirmwareChannel = 0;

constexpr kit::PropertyById kInputProperty{kInputPropertyCommand, 0, 1, kit::PropertyById::IdField::Word, 12, 8};

// The application's modes 0 to 2 are the firmware's 1 to 3.
constexpr uint8_t firmwareMode(uint8_t mode) { return mode + 1; }

uint32_t configure(const kit::Call& call, uint8_t mode, uint8_t inputSelection, uint8_t edgeSelection,
                   uint8_t levelSelection) {
  if (uint32_t code = checkLinInterface(call)) return code;
  // The firmware's text, word for word.
  if (mode > kLastMode) return call.fail(kit::GeneralError::UnknownMode, "mode '0x%02x' is unknwown", mode);
  if (inputSelection > 1) return call.fail(kit::GeneralError::InvalidParameter, "invalid inputSelection");
  if (edgeSelection > kLastEdgeSelection) return call.fail(kit::GeneralError::InvalidParameter, "invalid edgeSelection");
  if (levelSelection > 1) return call.fail(kit::GeneralError::InvalidParameter, "invalid levelSelection");
  kit::RecordWriter record(4);
  record.u8(firmwareMode(mode)).u8(inputSelection).u8(edgeSelection).u8(levelSelection);
  return call.send(kInputConfigCommand, record);
}

uint32_t deactivate(const kit::Call& call) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(0);
  return call.send(kInputConfigCommand, record);
}

uint32_t readState(const kit::Call& call, uint8_t* level, uint32_t* value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(level, "level")) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  *level = 0;
  *value = 0;
  kit::RecordWriter record(4);
  record.u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kInputStateCommand, 0, record, answer, kStateCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kValueOffset + sizeof(uint32_t))) return call.shortAnswer(reader);
  const uint8_t triggerLevel = reader.u8(kLevelOffset);
  if (triggerLevel > 1) {
    return call.fail(kit::GeneralError::InvalidResponseParameter, "trigger level '0x%02x' is unknown", triggerLevel);
  }
  *level = triggerLevel;
  *value = reader.u32(kValueOffset);
  return 0;
}

uint32_t setProperty(const kit::Call& call, uint16_t id, uint32_t value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (id != kChannelProperty) return unknownProperty(call);
  if (uint32_t code = checkChannel(call, value)) return code;
  return kInputProperty.set(call, kFirmwareChannel, firmwareChannel(value));
}

uint32_t readProperty(const kit::Call& call, uint16_t id, uint32_t* value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  if (id != kChannelProperty) return unknownProperty(call);
  uint32_t channel = 0;
  if (uint32_t code = kInputProperty.read(call, kFirmwareChannel, &channel)) return code;
  *value = applicationChannel(channel);
  return 0;
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_Trigger_Input_Config(uint32_t port, uint8_t mode, uint8_t inputSelection, uint8_t edgeSelection,
                                      uint8_t levelSelection) try {
  return qor::lin::configure(Call(kLin, port), mode, inputSelection, edgeSelection, levelSelection);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Input_GetState(uint32_t port, uint8_t* level, uint32_t* value) try {
  return qor::lin::readState(Call(kLin, port), level, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Input_Deactivate(uint32_t port) try {
  return qor::lin::deactivate(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Input_Property_SetById(uint32_t port, uint16_t propertyId, uint32_t value) try {
  return qor::lin::setProperty(Call(kLin, port), propertyId, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Input_Property_GetById(uint32_t port, uint16_t propertyId, uint32_t* value) try {
  return qor::lin::readProperty(Call(kLin, port), propertyId, value);
} catch (...) {
  return kLin.failedCall(port);
}
