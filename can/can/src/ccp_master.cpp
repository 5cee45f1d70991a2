#include "ccp_master.hpp"

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "qor_kit/answer_reader.hpp"
#include "qor_kit/poll.hpp"

namespace qor::can::ccp {
namespace {

constexpr uint32_t kHighestFlag = 1;
constexpr uint8_t kStateBits = 0x1F;
constexpr uint32_t kRunning = QOR_CAN_CCP_STATE_RUNNING | QOR_CAN_CCP_STATE_RUNNING_2;
constexpr size_t kResponseAnswerBytes = 18;
constexpr uint64_t kFirmwareMarginMs = 5000;
constexpr uint32_t kPollIntervalMs = 1;

std::mutex settingsMutex;
Settings current;

bool finished(const Qor_Can_Ccp_Response_t& response) { return (response.state & kRunning) == 0; }

// A valid CRM whose counter is not the CRO's, without the firmware seeing a mismatch, is still the previous
// command's: the firmware has not taken this one yet.
bool answersEarlierCommand(const Qor_Can_Ccp_Response_t& response, const Qor_Can_Ccp_Command_t& command) {
  return (response.state & QOR_CAN_CCP_STATE_VALID_CRM) != 0 &&
         (response.state & QOR_CAN_CCP_STATE_COUNTER_MISMATCH) == 0 && response.crm[2] != command.cro[1];
}

}  // namespace

uint32_t errorClassOfFirmware(uint8_t firmwareClass) {
  switch (firmwareClass) {
    case 1: return QOR_CAN_CCP_ERROR_NEGATIVE_ACKNOWLEDGE;
    case 2: return QOR_CAN_CCP_ERROR_UNKNOWN;
    default: return firmwareClass > QOR_CAN_CCP_ERROR_INTERNAL ? QOR_CAN_CCP_ERROR_UNKNOWN : firmwareClass;
  }
}

Settings settings() {
  const std::lock_guard lock(settingsMutex);
  return current;
}

void setSettings(const Settings& value) {
  const std::lock_guard lock(settingsMutex);
  current = value;
}

void putValue(uint8_t* bytes, uint32_t value, unsigned width) {
  const bool motorola = settings().motorola;
  for (unsigned index = 0; index < width; ++index) {
    const unsigned shift = 8 * (motorola ? width - 1 - index : index);
    bytes[index] = static_cast<uint8_t>(value >> shift);
  }
}

uint32_t valueAt(const uint8_t* bytes, unsigned width) {
  const bool motorola = settings().motorola;
  uint32_t value = 0;
  for (unsigned index = 0; index < width; ++index) {
    const unsigned shift = 8 * (motorola ? width - 1 - index : index);
    value |= uint32_t{bytes[index]} << shift;
  }
  return value;
}

uint32_t checkCommand(const kit::Call& call, const Qor_Can_Ccp_Command_t& command) {
  if (command.flags > kHighestFlag) {
    return call.fail(kit::GeneralError::UnknownFlag, "flag value '0x%04x' is unknown", command.flags);
  }
  return call.checkReserved(command.reserved, "reserved bytes have to be zero");
}

uint32_t sendCro(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t& command) {
  if (uint32_t code = checkCommand(call, command)) return code;
  kit::RecordWriter record(20);
  record.u8(kSendCro).u8(channel).u16(0).u32(command.timeout).bytes(command.cro, sizeof command.cro)
      .u8(command.retries).u8(static_cast<uint8_t>(command.flags)).u16(0);
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, record, answer);
}

uint32_t readResponse(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_Response_t& response) {
  response = {};
  kit::RecordWriter record(4);
  record.u8(kResponse).u8(channel).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kResponseAnswerBytes)) return call.shortAnswer(reader);
  response.state = reader.u8(4) & kStateBits;
  std::ranges::copy(reader.bytes(8, sizeof response.crm), response.crm);
  response.valueByte = reader.u8(16);
  response.errorClass = errorClassOfFirmware(reader.u8(17));
  return 0;
}

uint64_t exchangeLimitMs(const Qor_Can_Ccp_Command_t& command) {
  return uint64_t{command.timeout} * (uint64_t{command.retries} + 1) + kFirmwareMarginMs;
}

uint32_t exchange(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t& command,
                  Qor_Can_Ccp_Response_t& response, uint64_t limitMs) {
  if (uint32_t code = checkCommand(call, command)) return code;
  if (uint32_t code = readResponse(call, channel, response)) return code;
  if (uint32_t code = sendCro(call, channel, command)) return code;
  const auto limit = static_cast<uint32_t>(std::min<uint64_t>(limitMs, std::numeric_limits<uint32_t>::max()));
  const std::optional<uint32_t> result = kit::pollUntil(limit, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
    if (uint32_t code = readResponse(call, channel, response)) return code;
    if (finished(response) && !answersEarlierCommand(response, command)) return 0;
    return std::nullopt;
  });
  return result ? *result : call.fail(kCan.code(kCcpGeneralTimeout));
}

}  // namespace qor::can::ccp
