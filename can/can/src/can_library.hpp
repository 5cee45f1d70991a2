// libqor_api_can's frame: its module, the codes of its own beyond the general ones (texts in the core's table) and
// the check that every exported function makes first.
#pragma once

#include <cstdint>
#include <optional>

#include "qor_kit/call.hpp"
#include "qor_kit/library.hpp"

namespace qor::can {

enum CanError : uint16_t {
  kNotEnoughMemory = 0x0B,
  kAsynchronousCommunicationNotEnabled = 0x0C,
  kInvalidDlc = 0x101,
  kInvalidSendState = 0x102,
  kInvalidGroupNumber = 0x103,
  kUnknownTransceiverType = 0x201,
  kInvalidBaudrateRegisterValue = 0x202,
  kInvalidSamplePoint = 0x203,
  kTooFewTimeQuanta = 0x204,
  kTooManyTimeQuanta = 0x205,
  kTseg1TooLow = 0x206,
  kTseg1TooHigh = 0x207,
  kTseg2TooLow = 0x208,
  kTseg2TooHigh = 0x209,
  kSjwTooLow = 0x20A,
  kSjwTooHigh = 0x20B,
  kNoBaudrateFound = 0x20C,
  kTxFifoTimeout = 0x301,
  kTpUnknownAddressingFormat = 0x401,
  kTpUnknownApplicationType = 0x402,
  kTpNoFreeChannel = 0x403,
  kCcpGeneralTimeout = 0x500,
  kCcpError = 0x501,
  kCcpNoValidResponse = 0x502,
  kCcpUnexpectedCommandCounter = 0x503,
  kMonitorNotStarted = 0x600,
};

inline constexpr kit::Library kCan{0x02, kNotEnoughMemory};

inline constexpr uint32_t kCanInterfaceType = 4;

// The handle, then the interface type: every exported function's first check.
uint32_t checkCanInterface(const kit::Call& call);

// A DLC above 15: "invalid dlc", before anything indexes the table with it.
uint32_t checkDlc(const kit::Call& call, uint32_t dlc);

// The data bytes of a DLC the caller has checked.
uint8_t dataBytesOfDlc(uint32_t dlc);

// The firmware's flags byte for a message's flags; "unknown flag" for bits other than 0 and 1.
uint32_t firmwareMessageFlags(const kit::Call& call, uint8_t flags, uint8_t* firmwareFlags);
// The same translation for callers that report a refusal with their own text: empty for unknown bits.
std::optional<uint8_t> translatedMessageFlags(uint8_t flags);

}  // namespace qor::can
