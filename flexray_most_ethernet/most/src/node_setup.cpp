// Initialising the MOST interface (command 0x12, no parameters) and setting the node's properties, which the core's
// interface configuration checks and sends.
#include "most_library.hpp"
#include "qor_bus_configuration.h"
#include "qor_most_node.h"

namespace qor::most {
namespace {

constexpr uint8_t kInitCommand = 0x12;

uint32_t initInterface(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkLock(QOR_LOCK_INTERFACE)) return code;
  return call.send(kInitCommand, kit::RecordWriter(0));
}

uint32_t setProperties(const kit::Call& call, uint8_t clockMode, uint8_t deviceMode, uint8_t networkMasterMode,
                       uint8_t logicalNodeAddressMode, uint16_t word1, uint16_t word2) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return Qor_InterfaceConfig_Most_Node_SetProperties(call.port(), clockMode, deviceMode, networkMasterMode,
                                                     logicalNodeAddressMode, word1, word2);
}

}  // namespace
}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_InitInterface(uint32_t port) try {
  return qor::most::initInterface(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Node_SetProperties(uint32_t port, uint8_t clockMode, uint8_t deviceMode, uint8_t networkMasterMode,
                                     uint8_t logicalNodeAddressMode, uint16_t word1, uint16_t word2) try {
  return qor::most::setProperties(Call(kMost, port), clockMode, deviceMode, networkMasterMode, logicalNodeAddressMode,
                                  word1, word2);
} catch (...) {
  return kMost.failedCall(port);
}
