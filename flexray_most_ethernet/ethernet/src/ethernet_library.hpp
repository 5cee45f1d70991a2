// libqor_api_ethernet's frame: its module, its codes (numbered apart from the other libraries' general ones; texts in
// the core's table) and the checks that every exported function makes.
#pragma once

#include <cstdint>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::ethernet {

enum EthernetError : uint16_t {
  kWrongInterfaceType = 0x01,
  kUnknownFlag = 0x02,
  kBufferTooSmall = 0x03,
  kInvalidParameter = 0x04,
  kUnknownMode = 0x05,
  kTxFifoError = 0x06,
  kNotEnoughMemory = 0x07,
  kRxFifoError = 0x08,
  kNotInitialized = 0x09,
  kUnknownProtocol = 0x0A,
};

inline constexpr kit::Library kEthernet{0x13, kNotEnoughMemory};

inline constexpr uint32_t kEthernetInterfaceType = 14;

// The handle, then the interface type: every exported function's first check.
uint32_t checkEthernetInterface(const kit::Call& call);

// Bits outside allowed: "unknown flag" with an empty text.
uint32_t checkFlags(const kit::Call& call, uint32_t flags, uint32_t allowed);

// A pointer the caller must give: "invalid parameter" naming it.
uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name);

// A reserved field of a caller's record that is not 0: "invalid parameter".
uint32_t checkReserved(const kit::Call& call, uint32_t reserved);
// The same for reserved bytes of which any is not 0.
template <size_t Count>
uint32_t checkReserved(const kit::Call& call, const uint8_t (&reserved)[Count]) {
  uint32_t any = 0;
  for (uint8_t byte : reserved) any |= byte;
  return checkReserved(call, any);
}

// An answer shorter than what is read of it: "invalid parameter" saying so, since the library has no code of its own
// for it; nothing is read from bytes that did not arrive.
uint32_t checkAnswerLength(const kit::Call& call, const kit::AnswerReader& answer, size_t needed);

// The port's parameter length for a record of items: "invalid parameter", naming the item, when a record holds no
// more than its head and one item's head.
uint32_t itemRecordLength(const kit::Call& call, uint32_t headBytes, uint32_t itemHeadBytes, const char* itemName,
                          uint32_t& parameterLength);

}  // namespace qor::ethernet
