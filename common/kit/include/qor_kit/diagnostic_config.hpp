// The firmware's diagnostic configuration (command 0xA0, sent without response data) as the FlexRay, Ethernet and
// MOST libraries build it, and the TesterPresent request-mode check that FlexRay and Ethernet share.
//
// The head of every record, then the 36-byte UDS record's part:
//   +0 u8 channel, +1 u8 protocol, +2 u8 mode, +3 u8 0, +4 u32 value, +8 u32 command flags,
//   +12 u32 flags, +16 +18 +20 u16 values, +22 u16 0, +24 u16 TesterPresent value, +26 u8 request mode,
//   +27 u8 length, +28 the first `length` message bytes, zeros up to +35.
// Switching a channel off: {u8 channel} and zeros, of a length each bus gives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::kit {

inline constexpr uint8_t kDiagnosticConfigCommand = 0xA0;
inline constexpr size_t kUdsRecordBytes = 36;
inline constexpr size_t kTesterPresentMessageBytes = 8;
// The protocol byte of a configuration that only switches a channel on.
inline constexpr uint8_t kUdsOn = 1;

// The head of every configuration record (+0 to +11).
struct DiagnosticHead {
  uint8_t channel;
  uint8_t protocol;
  uint8_t mode;
  uint32_t value;
  uint32_t commandFlags;
};

// What follows the head (+12 to +35), as the callers' records hold it. length is at most
// kTesterPresentMessageBytes (checked before); message holds that many bytes.
struct UdsSettings {
  uint32_t flags;
  uint16_t values[3];
  uint16_t testerPresentValue;
  uint8_t requestMode;
  uint8_t length;
  const uint8_t* message;
};

// The head in a record of recordBytes (at least 12) for a protocol's part to follow.
RecordWriter diagnosticRecord(const DiagnosticHead& head, size_t recordBytes);

// The 36 bytes.
RecordWriter udsRecord(const DiagnosticHead& head, const UdsSettings& settings);

enum class TesterPresentMode { Accepted, InvalidForConfiguration, Unknown };

// 0, 1, 0x80 and 0x81 are accepted; 0x40, 0x41, 0xC0 and 0xC1 are modes that this configuration cannot run.
TesterPresentMode classifyTesterPresentMode(uint8_t mode);

// The codes a library reports the TesterPresent checks with.
struct TesterPresentRefusals {
  uint32_t invalid;      // a mode this configuration cannot run, a length above 8
  uint32_t unknownMode;  // any other mode
};

// The request mode, then the length, with the texts FlexRay and Ethernet callers compare.
uint32_t checkTesterPresent(const Call& call, uint8_t mode, uint8_t length, const TesterPresentRefusals& refusals);

// The configuration "on" (protocol byte 1) of a caller's record laid out as FlexRay's and Ethernet's are (flags, three
// values, reserved, TesterPresent value, request mode, length, message), whose flags and reserved field the library
// has checked: with flag bit 0 the TesterPresent check, then the record with it; without, zeros in its place.
template <class CallerRecord>
uint32_t sendUdsConfig(const Call& call, uint8_t channel, uint32_t value, const CallerRecord& config,
                       const TesterPresentRefusals& refusals) {
  UdsSettings settings{0, {config.value1, config.value2, config.value3}, 0, 0, 0, nullptr};
  if ((config.flags & 1) != 0) {
    if (uint32_t code =
            checkTesterPresent(call, config.testerPresentRequestMode, config.testerPresentLength, refusals)) {
      return code;
    }
    settings = {1, {config.value1, config.value2, config.value3}, config.testerPresentValue,
                config.testerPresentRequestMode, config.testerPresentLength, config.testerPresentMessage};
  }
  return call.send(kDiagnosticConfigCommand, udsRecord({channel, kUdsOn, 0, value, 0}, settings));
}

// {channel} and zeros to recordBytes, sent with the diagnostic configuration command.
uint32_t switchDiagnosticOff(const Call& call, uint8_t channel, size_t recordBytes);

}  // namespace qor::kit
