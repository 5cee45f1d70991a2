#include "ethernet_library.hpp"

namespace qor::ethernet {

uint32_t checkEthernetInterface(const kit::Call& call) {
  return call.checkInterface(kEthernetInterfaceType, "Ethernet Interface expected");
}

uint32_t checkFlags(const kit::Call& call, uint32_t flags, uint32_t allowed) {
  return (flags & ~allowed) != 0 ? call.fail(kEthernet.code(kUnknownFlag)) : 0;
}

uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name) {
  return pointer == nullptr ? call.fail(kEthernet.code(kInvalidParameter), "'%s' is NULL", name) : 0;
}

uint32_t checkReserved(const kit::Call& call, uint32_t reserved) {
  return reserved != 0 ? call.fail(kEthernet.code(kInvalidParameter), "reserved bytes have to be zero") : 0;
}

uint32_t checkAnswerLength(const kit::Call& call, const kit::AnswerReader& answer, size_t needed) {
  if (answer.has(needed)) return 0;
  return call.fail(kEthernet.code(kInvalidParameter), "response of %zu bytes, %zu expected", answer.size(), needed);
}

uint32_t itemRecordLength(const kit::Call& call, uint32_t headBytes, uint32_t itemHeadBytes, const char* itemName,
                          uint32_t& parameterLength) {
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (parameterLength <= headBytes + itemHeadBytes) {
    return call.fail(kEthernet.code(kInvalidParameter), "parameter length %u holds no %s", parameterLength, itemName);
  }
  return 0;
}

}  // namespace qor::ethernet
