// What every CCP command function shares: its CRO with the next command counter, the exchange with the firmware's
// default time-out and retries, and the evaluation of the CRM.
#pragma once

#include <cstdint>
#include <span>

#include "ccp_master.hpp"

namespace qor::can::ccp {

// CCP command codes.
enum CommandCode : uint8_t {
  kConnect = 0x01,
  kSetMta = 0x02,
  kDownload = 0x03,
  kUpload = 0x04,
  kTest = 0x05,
  kStartStop = 0x06,
  kDisconnect = 0x07,
  kStartStopAll = 0x08,
  kGetActiveCalPage = 0x09,
  kSetSessionStatus = 0x0C,
  kGetSessionStatus = 0x0D,
  kBuildChecksum = 0x0E,
  kShortUp = 0x0F,
  kClearMemory = 0x10,
  kSelectCalPage = 0x11,
  kGetSeed = 0x12,
  kUnlock = 0x13,
  kGetDaqSize = 0x14,
  kSetDaqPtr = 0x15,
  kWriteDaq = 0x16,
  kExchangeId = 0x17,
  kProgram = 0x18,
  kMove = 0x19,
  kGetCcpVersion = 0x1B,
  kDiagService = 0x20,
  kActionService = 0x21,
  kProgram6 = 0x22,
  kDownload6 = 0x23,
};

// The most data bytes a CRM carries (from byte 3) and a Download or Program CRO (from byte 3).
inline constexpr uint8_t kMaxDataBytes = 5;
// Resource bits of seeds, privileges and the exchange id's masks.
inline constexpr uint8_t kResourceBits = 0x43;

// A CRO's parameter bytes, numbered as in the CRO (2 to 7); bytes not set are 0.
class Cro {
 public:
  explicit Cro(CommandCode code) { command_.cro[0] = code; }
  Cro& u8(unsigned byte, uint8_t value);
  // Low byte first, whatever the settings: station addresses.
  Cro& u16LowFirst(unsigned byte, uint16_t value);
  // In the byte order of the settings.
  Cro& value(unsigned byte, uint32_t value, unsigned width);
  Cro& bytes(unsigned byte, std::span<const uint8_t> data);
  const Qor_Can_Ccp_Command_t& command() const { return command_; }

 private:
  Qor_Can_Ccp_Command_t command_{};
};

// Sends the CRO and evaluates the CRM: an error class gives "CCP error" with its description, no valid CRM "no valid
// response", a CRM of another command counter "unexpected command counter".
uint32_t run(const kit::Call& call, uint8_t channel, const Cro& cro, Qor_Can_Ccp_Response_t& response);

// The CRM's data bytes 3 to 7.
inline std::span<const uint8_t> crmData(const Qor_Can_Ccp_Response_t& response) {
  return std::span<const uint8_t>(response.crm).subspan(3);
}

// The memory transfer address of CRM bytes 3 to 7.
Qor_Can_Ccp_Mta_t mtaOf(const Qor_Can_Ccp_Response_t& response);

}  // namespace qor::can::ccp
