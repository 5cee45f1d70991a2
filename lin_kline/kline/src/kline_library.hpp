// libqor_api_kline's frame: its codes (its own numbering, not the general one of the other bus libraries) and the
// checks that every function shares.
#pragma once

#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::kline {

enum KLineError : uint16_t {
  kUnknownFlag = 0x01,
  kInvalidParameter = 0x02,
  kResponseBufferTooSmall = 0x03,  // also: more data wait
  kNotEnoughMemory = 0x04,
  kUnknownMode = 0x05,
  kWrongInterfaceType = 0x06,
  kUnknownId = 0x07,
  kMonitorNotConfigured = 0x10,
  kMonitorAlreadyConfigured = 0x11,
};

inline constexpr kit::Library kKLine{0x0F, kNotEnoughMemory};
inline constexpr uint32_t kKLineInterface = 6;

// The port's interface type first: a port that is no K-Line interface gives the handle's code when the handle is
// bad, else "wrong interface type".
uint32_t checkKLine(const kit::Call& call);
// Command flags outside allowed.
uint32_t checkCommandFlags(const kit::Call& call, uint32_t flags, uint32_t allowed);
// A pointer the caller must give.
uint32_t checkPointer(const kit::Call& call, const void* pointer, const char* name);
// Reserved bytes of a caller's record: "reserved bytes have to be zero".
template <class Field>
uint32_t checkReserved(const kit::Call& call, const Field& field) {
  return field == 0 ? 0 : call.fail(kKLine.code(kInvalidParameter), "reserved bytes have to be zero");
}
// An answer shorter than the fields read of it: the library has no "invalid response length" of its own.
uint32_t shortAnswer(const kit::Call& call, const kit::AnswerReader& answer);

}  // namespace qor::kline
