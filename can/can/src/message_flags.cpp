#include "can_library.hpp"
#include "qor_can_message.h"

const uint8_t Qor_Can_Internal_DlcToNumberOfDataBytes_LUT[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};

uint32_t Qor_Can_Internal_Translate_MsgFlags_Api2Fw(uint32_t port, uint8_t flags, uint8_t* firmwareFlags) try {
  const qor::kit::Call call(qor::can::kCan, port);
  if (uint32_t code = call.checkPointer(firmwareFlags, "firmwareFlags")) return code;
  return qor::can::firmwareMessageFlags(call, flags, firmwareFlags);
} catch (...) {
  return qor::can::kCan.failedCall(port);
}
