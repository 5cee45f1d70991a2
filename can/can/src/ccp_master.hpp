// The firmware's CCP master behind command 0xC8: the process-wide settings of the last initialisation, the firmware
// requests of one channel and the CRO/CRM exchange that the command functions share.
#pragma once

#include <cstdint>

#include "can_library.hpp"
#include "qor_can_ccp.h"

namespace qor::can::ccp {

inline constexpr uint8_t kCommand = 0xC8;
inline constexpr uint8_t kControlBytes = 2;

enum SubCommand : uint8_t {
  kReset = 0,
  kInitialise = 1,
  kSendCro = 2,
  kCommandState = 3,
  kResponse = 4,
  kDaqMessages = 7,
  kEventMessages = 8,
};

// What the last initialisation of the process set; shared by every port and channel.
struct Settings {
  bool motorola = false;
  uint16_t maxDaqMessages = 0;
  uint16_t maxEventMessages = 0;
};
Settings settings();
void setSettings(const Settings& value);

// The firmware numbers two error classes the other way round and knows none above 7.
uint32_t errorClassOfFirmware(uint8_t firmwareClass);

// A u32 or u16 of a CRO or CRM in the byte order of the settings.
void putValue(uint8_t* bytes, uint32_t value, unsigned width);
uint32_t valueAt(const uint8_t* bytes, unsigned width);

// The checks of a caller's command record: flags, reserved bytes.
uint32_t checkCommand(const kit::Call& call, const Qor_Can_Ccp_Command_t& command);
// Sub 2, the record checked.
uint32_t sendCro(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t& command);
// Sub 4 into response (all zero first).
uint32_t readResponse(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_Response_t& response);
// Sends the CRO and reads the response until the firmware is done with it, at most limitMs after the first
// response read; "general timeout" after that.
uint32_t exchange(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t& command,
                  Qor_Can_Ccp_Response_t& response, uint64_t limitMs);
// The limit of an exchange: each try's time-out and a margin for the firmware.
uint64_t exchangeLimitMs(const Qor_Can_Ccp_Command_t& command);

const char* errorDescription(const Qor_Can_Ccp_Response_t& response);

}  // namespace qor::can::ccp
