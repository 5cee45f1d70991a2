#include "flexray_library.hpp"

#include <vector>

#include "qor_flexray_node.h"

namespace qor::flexray {

uint32_t checkFlexRayInterface(const kit::Call& call) {
  return call.checkInterface(kFlexRayInterfaceType, "FlexRay Interface expected!!!");
}

uint32_t exchangeController(const kit::Call& call, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return exchangeController(call, record, answer);
}

uint32_t exchangeController(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kControllerCommand, kControllerControlBytes, record, answer, kControllerAnswerCapacity);
}

uint32_t checkChannel(const kit::Call& call, uint8_t channel) {
  return channel > QOR_FLEXRAY_MAX_CHANNEL
             ? call.fail(kit::GeneralError::InvalidParameter, "channel value '%02x' is unknown", channel)
             : 0;
}

uint32_t checkFirmwareChannel(const kit::Call& call, uint8_t channel) {
  return channel > QOR_FLEXRAY_MAX_CHANNEL
             ? call.fail(kit::GeneralError::InvalidResponseParameter, "channel value '%02x' is unknown", channel)
             : 0;
}

}  // namespace qor::flexray
