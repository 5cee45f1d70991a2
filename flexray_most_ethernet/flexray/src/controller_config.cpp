// Initialising the controller (the core sends the record) and sending the protocol parameters (command 0x20,
// sub-function 1: the sub-function, then the 72 bytes as the caller's record holds them).

#include "controller_config.hpp"
#include "flexray_library.hpp"
#include "qor_bus_configuration.h"
#include "qor_flexray_config.h"
#include "qor_kit/record_writer.hpp"

namespace qor::flexray {
namespace {

constexpr uint32_t kConfigSubFunction = 1;
constexpr size_t kConfigRecordBytes = 4 + sizeof(Qor_FlexRay_ConfigData_t);

// Bad flags are "invalid parameter" with the text "unknown flag", as callers compare them.
uint32_t init(const kit::Call& call, uint32_t flags, uint8_t controllerType, uint8_t transceiverType) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if ((flags & ~QOR_FLEXRAY_INIT_FLAGS) != 0) return call.fail(kit::GeneralError::InvalidParameter, "unknown flag");
  if (controllerType > QOR_FLEXRAY_MAX_CONTROLLER_TYPE) {
    return call.fail(kit::GeneralError::InvalidParameter, "controller type '0x%02x' is unknown", controllerType);
  }
  if (transceiverType != QOR_FLEXRAY_TRANSCEIVER_TYPE) {
    return call.fail(kit::GeneralError::InvalidParameter, "transceiver type '0x%02x' is unknown", transceiverType);
  }
  return Qor_InterfaceConfig_FlexRay_Init(call.port(), flags, controllerType, 0);
}

uint32_t config(const kit::Call& call, const Qor_FlexRay_ConfigData_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(data, "data")) return code;
  return sendConfig(call, *data);
}

}  // namespace

uint32_t sendConfig(const kit::Call& call, const Qor_FlexRay_ConfigData_t& data) {
  kit::RecordWriter record(kConfigRecordBytes);
  record.u32(kConfigSubFunction).record(data);
  return exchangeController(call, record);
}
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Init(uint32_t port, uint32_t flags, uint8_t controllerType, uint8_t transceiverType) try {
  return qor::flexray::init(Call(kFlexRay, port), flags, controllerType, transceiverType);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Config(uint32_t port, const Qor_FlexRay_ConfigData_t* data) try {
  return qor::flexray::config(Call(kFlexRay, port), data);
} catch (...) {
  return kFlexRay.failedCall(port);
}
