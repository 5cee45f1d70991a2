// Node properties by id (command 0x1A: set sub-function 4, read 5) and the internal battery voltage among them.
#include <cstdint>

#include "lin_library.hpp"
#include "qor_kit/property_by_id.hpp"
#include "qor_lin_node.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr kit::PropertyById kNodeProperty{
    .command = 0x1A,
    .setSubFunction = 4,
    .readSubFunction = 5,
    .idField = kit::PropertyById::IdField::HalfWordAndReserved,
    .answerCapacity = 12,
    .valueOffset = 8,
};

// The firmware's answer on a device without the internal battery voltage.
constexpr uint32_t kFirmwareNotOnThisDevice = 0x53;

uint32_t checkPropertyId(const kit::Call& call, uint16_t id) {
  if (id <= QOR_LIN_NODE_PROPERTY_ID_MAX || id == QOR_LIN_NODE_PROPERTY_ID_ALL) return 0;
  return call.fail(GeneralError::InvalidParameter, "property id '0x%02x' is unknown", id);
}

uint32_t readProperty(const kit::Call& call, uint16_t id, uint32_t* value) {
  if (uint32_t code = call.checkPointer(value, "value")) return code;
  *value = 0;
  if (uint32_t code = checkPropertyId(call, id)) return code;
  uint32_t read = 0;
  if (uint32_t code = kNodeProperty.read(call, id, &read)) return code;
  *value = read;
  return 0;
}

uint32_t setInternalVBat(const kit::Call& call, uint32_t enabled) {
  const uint32_t code = kNodeProperty.set(call, QOR_LIN_NODE_PROPERTY_INTERNAL_VBAT, enabled);
  if (code == kFirmwareNotOnThisDevice) {
    return call.fail(kLin.code(kOperationNotAllowed), "operation not allowed on this device type");
  }
  return code;
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_Node_Property_Set(uint32_t port, uint16_t id, uint32_t value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  if (uint32_t code = qor::lin::checkPropertyId(call, id)) return code;
  return qor::lin::kNodeProperty.set(call, id, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_Property_Get(uint32_t port, uint16_t id, uint32_t* value) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::readProperty(call, id, value);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_InternalVBat_Enable(uint32_t port) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::setInternalVBat(call, 1);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Node_InternalVBat_Disable(uint32_t port) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::setInternalVBat(call, 0);
} catch (...) {
  return kLin.failedCall(port);
}
