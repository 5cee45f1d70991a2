// The packet generator (command 0x21): reset, configuration with the frame to send, and its state.
#include <iterator>
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_packet_generator.h"

namespace qor::ethernet {
namespace {

constexpr uint8_t kGeneratorCommand = 0x21;
constexpr uint32_t kGeneratorAnswerCapacity = 32;
constexpr size_t kConfigHeadBytes = 24;
constexpr size_t kStateAnswerBytes = 32;
// Where the state answer holds the values of the result, in the result's order.
constexpr size_t kValueOffsets[] = {24, 28, 12, 16, 20};

enum GeneratorSubFunction : uint32_t { kReset = 0, kConfigure = 1, kState = 2 };

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kGeneratorCommand, 1, record, answer, kGeneratorAnswerCapacity);
}

uint32_t reset(const kit::Call& call) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(kReset);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t configure(const kit::Call& call, const Qor_Ethernet_PktGen_Config_t* config) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, config, "config")) return code;
  if (uint32_t code = checkFlags(call, config->flags, QOR_ETHERNET_PKT_GEN_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, config->reserved)) return code;
  if (config->mode > QOR_ETHERNET_PKT_GEN_MAX_MODE) return call.fail(kEthernet.code(kUnknownMode));
  if (config->frameLength > QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES) {
    return call.fail(kEthernet.code(kInvalidParameter), "maximum length is %u bytes",
                     QOR_ETHERNET_PKT_GEN_MAX_FRAME_BYTES);
  }
  kit::RecordWriter record(kConfigHeadBytes + config->frameLength);
  record.u32(kConfigure).u8(static_cast<uint8_t>(config->flags)).zeros(3).u8(config->mode).u8(0);
  record.u16(config->frameLength).u32(config->value3).u32(config->value1).u32(config->value2);
  record.bytes(config->frame, config->frameLength);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t getState(const kit::Call& call, const uint32_t* flags, Qor_Ethernet_PktGen_State_t* state) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, flags, "flags")) return code;
  if (uint32_t code = checkPointer(call, state, "state")) return code;
  if (uint32_t code = checkFlags(call, *flags, 0)) return code;
  kit::RecordWriter record(8);
  record.u32(kState).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kStateAnswerBytes)) return code;
  const uint32_t mode = reader.u32(8);
  *state = {};
  state->status = reader.u8(4) & QOR_ETHERNET_PKT_GEN_STATUS_BITS;
  state->mode = static_cast<uint8_t>(mode <= QOR_ETHERNET_PKT_GEN_MAX_MODE ? mode : QOR_ETHERNET_PKT_GEN_MODE_UNKNOWN);
  for (size_t i = 0; i < std::size(kValueOffsets); ++i) state->values[i] = reader.u32(kValueOffsets[i]);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_PktGen_Reset(uint32_t port) try {
  return reset(Call(kEthernet, port));
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_PktGen_Config(uint32_t port, const Qor_Ethernet_PktGen_Config_t* config) try {
  return configure(Call(kEthernet, port), config);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_PktGen_GetState(uint32_t port, const uint32_t* flags, Qor_Ethernet_PktGen_State_t* state) try {
  return getState(Call(kEthernet, port), flags, state);
} catch (...) {
  return kEthernet.failedCall(port);
}
