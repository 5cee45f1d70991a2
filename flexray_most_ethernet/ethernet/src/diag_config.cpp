// The UDS diagnostic configuration (the kit's 36-byte record) and switching it off.
#include <cstddef>

#include "ethernet_library.hpp"
#include "qor_ethernet_tp.h"
#include "qor_kit/diagnostic_config.hpp"

namespace qor::ethernet {
namespace {

constexpr size_t kOffRecordBytes = 12;
constexpr kit::TesterPresentRefusals kTesterPresentRefusals{kEthernet.code(kInvalidParameter),
                                                            kEthernet.code(kUnknownMode)};

uint32_t configUds(const kit::Call& call, uint8_t channel, uint32_t value, const Qor_Ethernet_DiagConfigUds_t* config) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkFlags(call, config->flags, QOR_ETHERNET_DIAG_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, config->reserved)) return code;
  return kit::sendUdsConfig(call, channel, value, *config, kTesterPresentRefusals);
}

uint32_t configOff(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  return kit::switchDiagnosticOff(call, channel, kOffRecordBytes);
}

}  // namespace
}  // namespace qor::ethernet

using qor::ethernet::kEthernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Diag_Config_Uds(uint32_t port, uint8_t channel, uint32_t value,
                                      const Qor_Ethernet_DiagConfigUds_t* config) try {
  return qor::ethernet::configUds(Call(kEthernet, port), channel, value, config);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Diag_Config_Off(uint32_t port, uint8_t channel) try {
  return qor::ethernet::configOff(Call(kEthernet, port), channel);
} catch (...) {
  return kEthernet.failedCall(port);
}
