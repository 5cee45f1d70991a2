#include "stm_library.hpp"

#include <algorithm>

namespace qor::can_stm {

uint32_t checkStmInterface(const kit::Call& call) {
  return call.checkInterface(kStmInterfaceType, "CAN STM Interface expected");
}

uint32_t unknownFlag(const kit::Call& call) { return call.fail(kStm.code(kUnknownFlag)); }

uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name) {
  return pointer == nullptr ? call.fail(kStm.code(kInvalidParameter), "'%s' is NULL", name) : 0;
}

uint32_t invalidParameter(const kit::Call& call, const char* text) {
  return call.fail(kStm.code(kInvalidParameter), "%s", text);
}

uint32_t checkReserved(const kit::Call& call, const void* reserved, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(reserved);
  const bool clear = std::all_of(bytes, bytes + length, [](uint8_t byte) { return byte == 0; });
  return clear ? 0 : invalidParameter(call, "reserved bytes have to be zero");
}

uint32_t checkPropertyId(const kit::Call& call, uint32_t property, uint32_t highest) {
  return property > highest ? invalidParameter(call, "property ID is unknown") : 0;
}

}  // namespace qor::can_stm
