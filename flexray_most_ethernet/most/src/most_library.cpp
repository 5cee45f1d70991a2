#include "most_library.hpp"

#include "qor_most_cms.h"

namespace qor::most {

uint32_t checkMostInterface(const kit::Call& call) {
  return call.checkInterface(kMostInterfaceType, "MOST Interface expected");
}

uint32_t shortAnswer(const kit::Call& call, size_t received) {
  return call.fail(kit::GeneralError::InvalidResponseLength, "%zu", received);
}

uint32_t checkDataLength(const kit::Call& call, uint32_t headBytes, uint32_t length, uint32_t maximum) {
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (length > maximum || uint64_t{length} + headBytes > parameterLength) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", length);
  }
  return 0;
}

uint32_t checkOperationType(const kit::Call& call, uint8_t operationType) {
  if (operationType <= QOR_MOST_OPERATION_TYPE_MAX) return 0;
  return call.fail(kMost.code(kUnknownOperationType), "%u", operationType);
}

}  // namespace qor::most
