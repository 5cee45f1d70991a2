#include "channel_codes.hpp"

#include "qor_flexray_node.h"

namespace qor::flexray {

uint32_t checkChannel(const kit::Call& call, uint8_t channel) {
  if (channel <= QOR_FLEXRAY_MAX_CHANNEL) return 0;
  return call.fail(kit::GeneralError::InvalidParameter, "channel value '%02x' is unknown", channel);
}

}  // namespace qor::flexray
