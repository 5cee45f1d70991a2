#include <vector>

#include "lin_library.hpp"
#include "qor_kit/property_by_id.hpp"
#include "qor_lin_triggers.h"
#include "trigger_channel.hpp"

namespace qor::lin {
namespace {

constexpr uint8_t kOutputConfigCommand = 0x53;
constexpr uint8_t kOutputControlCommand = 0x5F;
constexpr uint8_t kLastTriggerType = 23;
constexpr uint8_t kMaxFrameIds = 64;
constexpr uint32_t kDeactivate = 2;
constexpr uint32_t kAnswerCapacity = 12;

enum OutputProperty : uint16_t { kChannelProperty = 1, kSecondProperty = 2 };
enum FirmwareProperty : uint32_t { kFirmwareChannel = 0, kFirmwareSecond = 1 };

constexpr kit::PropertyById kOutputProperty{kOutputControlCommand, 0, 1,
                                            kit::PropertyById::IdField::HalfWordAndReserved, kAnswerCapacity, 8};

uint32_t configure(const kit::Call& call, uint32_t flags, uint8_t triggerType, uint8_t idCount,
                   const uint8_t* frameIds) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (triggerType > kLastTriggerType) return call.fail(kit::GeneralError::UnknownMode);
  if (idCount > kMaxFrameIds) {
    return call.fail(kit::GeneralError::InvalidParameter, "maximum number of ids = %u", unsigned{kMaxFrameIds});
  }
  if (uint32_t code = call.checkFlags(flags, 1)) return code;
  if (idCount != 0) {
    if (uint32_t code = call.checkPointer(frameIds, "frameIds")) return code;
  }
  kit::RecordWriter record(4 + kMaxFrameIds);
  record.u8(triggerType).u8(idCount).u8(static_cast<uint8_t>(flags)).u8(0).bytes(frameIds, idCount);
  return call.send(kOutputConfigCommand, record);
}

uint32_t deactivate(const kit::Call& call) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(kDeactivate);
  std::vector<uint8_t> answer;
  return call.exchange(kOutputControlCommand, 1, record, answer, kAnswerCapacity);
}

uint32_t setProperty(const kit::Call& call, uint16_t id, uint32_t value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  switch (id) {
    case kChannelProperty: {
      if (uint32_t code = checkChannel(call, value)) return code;
      return kOutputProperty.set(call, kFirmwareChannel, firmwareChannel(value));
    }
    case kSecondProperty:
      return kOutputProperty.set(call, kFirmwareSecond, value);
    default:
      return unknownProperty(call);
  }
}

uint32_t readProperty(const kit::Call& call, uint16_t id, uint32_t* value) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  switch (id) {
    case kChannelProperty: {
      uint32_t channel = 0;
      if (uint32_t code = kOutputProperty.read(call, kFirmwareChannel, &channel)) return code;
      *value = applicationChannel(channel);
      return 0;
    }
    case kSecondProperty:
      return kOutputProperty.read(call, kFirmwareSecond, value);
    default:
      return unknownProperty(call);
  }
}

}  // namespace
}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;

uint32_t Qor_Lin_Trigger_Output_Config(uint32_t port, uint32_t flags, uint8_t triggerType, uint8_t idCount,
                                       const uint8_t* frameIds) try {
  return qor::lin::configure(Call(kLin, port), flags, triggerType, idCount, frameIds);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Output_Deactivate(uint32_t port) try {
  return qor::lin::deactivate(Call(kLin, port));
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Output_Property_SetById(uint32_t port, uint16_t propertyId, uint32_t value) try {
  return qor::lin::setProperty(Call(kLin, port), propertyId, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Trigger_Output_Property_GetById(uint32_t port, uint16_t propertyId, uint32_t* value) try {
  return qor::lin::readProperty(Call(kLin, port), propertyId, value);
} catch (...) {
  return kLin.failedCall(port);
}
