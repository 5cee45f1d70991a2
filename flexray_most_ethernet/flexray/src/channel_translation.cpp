// The channel translators the application may call itself: codes 0 to 3 pass unchanged in both directions.
#include "flexray_library.hpp"
#include "qor_flexray_messages.h"

namespace qor::flexray {
namespace {

using CheckChannel = uint32_t (*)(const kit::Call&, uint8_t);

uint32_t translate(const kit::Call& call, CheckChannel check, uint8_t from, uint8_t* to) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(to, "channel")) return code;
  if (uint32_t code = check(call, from)) return code;
  *to = from;
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Translate_Channel_Api2Fw(uint32_t port, uint8_t apiChannel, uint8_t* firmwareChannel) try {
  return qor::flexray::translate(Call(kFlexRay, port), qor::flexray::checkChannel, apiChannel, firmwareChannel);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Translate_Channel_Fw2Api(uint32_t port, uint8_t firmwareChannel, uint8_t* apiChannel) try {
  return qor::flexray::translate(Call(kFlexRay, port), qor::flexray::checkFirmwareChannel, firmwareChannel, apiChannel);
} catch (...) {
  return kFlexRay.failedCall(port);
}
