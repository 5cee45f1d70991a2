#include "flexray_library.hpp"

#include "qor_flexray_messages.h"

namespace qor::flexray {
namespace {

constexpr const char* kUnknownChannelText = "channel value '%02x' is unknown";

}  // namespace

uint32_t checkFlexRayInterface(const kit::Call& call) {
  return call.checkInterface(kFlexRayInterfaceType, "FlexRay Interface expected!!!");
}

uint32_t exchangeController(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kControllerCommand, kControllerControlBytes, record, answer, kControllerAnswerCapacity);
}

uint32_t checkApiChannel(const kit::Call& call, uint8_t channel) {
  return channel > QOR_FLEXRAY_MAX_CHANNEL
             ? call.fail(kit::GeneralError::InvalidParameter, kUnknownChannelText, channel)
             : 0;
}

uint32_t checkFirmwareChannel(const kit::Call& call, uint8_t channel) {
  return channel > QOR_FLEXRAY_MAX_CHANNEL
             ? call.fail(kit::GeneralError::InvalidResponseParameter, kUnknownChannelText, channel)
             : 0;
}

}  // namespace qor::flexray
