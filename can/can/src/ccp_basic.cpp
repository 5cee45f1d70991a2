// The CCP master's own requests: reset, initialisation, a CRO handed over, the response and command state read, and
// the whole exchange of one CRO.
#include <vector>

#include "ccp_master.hpp"
#include "qor_kit/answer_reader.hpp"

namespace qor::can::ccp {
namespace {

constexpr size_t kCommandStateAnswerBytes = 11;
constexpr uint8_t kCommandStateBits = 0x07;

kit::RecordWriter head(uint8_t subCommand, uint8_t channel) {
  kit::RecordWriter record(4);
  record.u8(subCommand).u8(channel).u16(0);
  return record;
}

uint32_t reset(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkCanInterface(call)) return code;
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, head(kReset, channel), answer);
}

uint32_t initialise(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Config_t* config) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(config, "config")) return code;
  // The maximums count even when the flags are refused.
  setSettings(Settings{false, config->maxDaqMessages, config->maxEventMessages});
  if (config->flags > QOR_CAN_CCP_FLAG_MOTOROLA) {
    return call.fail(kit::GeneralError::UnknownFlag, "flag value '0x%04x' is unknown", config->flags);
  }
  setSettings(Settings{config->flags == QOR_CAN_CCP_FLAG_MOTOROLA, config->maxDaqMessages, config->maxEventMessages});
  kit::RecordWriter record(32);
  record.u8(kInitialise).u8(channel).u16(0).u8(static_cast<uint8_t>(config->flags)).u8(0).u16(0).u16(1)
      .u16(config->value5).u32(config->value1).u32(config->value2).u32(config->value3).u16(config->value4)
      .u16(config->maxDaqMessages).u16(config->maxEventMessages).u16(0);
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, record, answer);
}

uint32_t command(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t* cro) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(cro, "command")) return code;
  return sendCro(call, channel, *cro);
}

uint32_t getResponse(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_Response_t* response) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(response, "response")) return code;
  return readResponse(call, channel, *response);
}

uint32_t getCommandState(const kit::Call& call, uint8_t channel, Qor_Can_Ccp_CommandState_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  *state = {};
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kCommand, kControlBytes, head(kCommandState, channel), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kCommandStateAnswerBytes)) return call.shortAnswer(reader);
  state->state = reader.u8(4) & kCommandStateBits;
  state->stateByte1 = reader.u8(8);
  state->stateByte2 = reader.u8(9);
  state->errorClass = errorClassOfFirmware(reader.u8(10));
  return 0;
}

uint32_t commandWithResponse(const kit::Call& call, uint8_t channel, const Qor_Can_Ccp_Command_t* cro,
                             Qor_Can_Ccp_Response_t* response) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(cro, "command")) return code;
  if (uint32_t code = call.checkPointer(response, "response")) return code;
  return exchange(call, channel, *cro, *response, exchangeLimitMs(*cro));
}

}  // namespace
}  // namespace qor::can::ccp

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Ccp_Reset(uint32_t port, uint8_t channel) try {
  return qor::can::ccp::reset(Call(kCan, port), channel);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Init(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Config_t* config) try {
  return qor::can::ccp::initialise(Call(kCan, port), channel, config);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_Command(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Command_t* command) try {
  return qor::can::ccp::command(Call(kCan, port), channel, command);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_GetResponse(uint32_t port, uint8_t channel, Qor_Can_Ccp_Response_t* response) try {
  return qor::can::ccp::getResponse(Call(kCan, port), channel, response);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_GetCommandState(uint32_t port, uint8_t channel, Qor_Can_Ccp_CommandState_t* state) try {
  return qor::can::ccp::getCommandState(Call(kCan, port), channel, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Ccp_CommandWithResponse(uint32_t port, uint8_t channel, const Qor_Can_Ccp_Command_t* command,
                                         Qor_Can_Ccp_Response_t* response) try {
  return qor::can::ccp::commandWithResponse(Call(kCan, port), channel, command, response);
} catch (...) {
  return kCan.failedCall(port);
}
