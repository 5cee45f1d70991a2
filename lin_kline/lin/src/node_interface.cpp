// Initialising the interface and the node's tasks: the library's checks, then the core's automatic configuration.
#include <cstdint>
#include <limits>

#include "lin_library.hpp"
#include "qor_bus_configuration.h"
#include "qor_lin_node.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr uint64_t kBreakBits = 13;

// Initialising takes the interface lock, which the port gets when it is opened.
uint32_t configureNode(const kit::Call& call, const Qor_Lin_NodeConfig_t* config) {
  if (uint32_t code = call.checkLock(QOR_LOCK_INTERFACE)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  if (uint32_t code = call.checkFlags(config->flags, QOR_LIN_NODE_FLAGS_VALID)) return code;
  return Qor_InterfaceConfig_Lin_Node_Config2(call.port(), config);
}

// A break of 13 bit times at a baud rate below 4 is longer than a u32 of ns: refused rather than wrapped.
uint32_t nodeConfigOf(const kit::Call& call, uint32_t flags, uint32_t baudRate, Qor_Lin_NodeConfig_t& config) {
  const uint64_t breakNs = baudRate == 0 ? 0 : kBreakBits * kNanosecondsPerSecond / baudRate;
  if (breakNs > std::numeric_limits<uint32_t>::max()) {
    return call.fail(GeneralError::InvalidParameter, "baud rate %u is too low for a break of 13 bit times", baudRate);
  }
  config = {};
  config.flags = flags;
  config.masterBaudRate = baudRate;
  config.masterTimesNs[0] = static_cast<uint32_t>(breakNs);
  config.masterTimesNs[1] = baudRate == 0 ? 0 : static_cast<uint32_t>(kNanosecondsPerSecond / baudRate);
  config.slaveBaudRate = baudRate;
  return 0;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_InitInterface(uint32_t port, uint32_t flags) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  if (uint32_t code = call.checkLock(QOR_LOCK_INTERFACE)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_LIN_INIT_FLAGS_VALID)) return code;
  return Qor_InterfaceConfig_Lin_InitInterface(port, flags);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_Config2(uint32_t port, const Qor_Lin_NodeConfig_t* config) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::configureNode(call, config);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_Config(uint32_t port, uint32_t flags, uint32_t baudRate) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  Qor_Lin_NodeConfig_t config;
  if (uint32_t code = qor::lin::nodeConfigOf(call, flags, baudRate, config)) return code;
  return qor::lin::configureNode(call, &config);
} catch (...) {
  return kLin.failedCall(port);
}
