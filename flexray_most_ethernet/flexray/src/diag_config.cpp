// The UDS diagnostic configuration (the kit's 36-byte record) and switching it off.
#include <cstddef>

#include "flexray_library.hpp"
#include "qor_flexray_tp.h"
#include "qor_kit/diagnostic_config.hpp"

namespace qor::flexray {
namespace {

constexpr size_t kOffRecordBytes = 4;
constexpr kit::TesterPresentRefusals kTesterPresentRefusals{kFlexRay.code(kit::GeneralError::InvalidParameter),
                                                            kFlexRay.code(kit::GeneralError::UnknownMode)};

uint32_t configUds(const kit::Call& call, uint8_t channel, uint32_t value, const Qor_FlexRay_DiagConfigUds_t* config) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = call.checkReserved(config->reserved, "reserved bytes have to be '0'")) return code;
  if (uint32_t code = call.checkFlags(config->flags, QOR_FLEXRAY_DIAG_FLAGS)) return code;
  return kit::sendUdsConfig(call, channel, value, *config, kTesterPresentRefusals);
}

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  return kit::switchDiagnosticOff(call, channel, kOffRecordBytes);
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Diag_Config_Uds(uint32_t port, uint8_t channel, uint32_t value,
                                     const Qor_FlexRay_DiagConfigUds_t* config) try {
  return qor::flexray::configUds(Call(kFlexRay, port), channel, value, config);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Diag_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::flexray::configOff(Call(kFlexRay, port), channel);
} catch (...) {
  return kFlexRay.failedCall(port);
}
