// The ping (command 0x26): the start and the state, and the wait on the host for a ping's outcome.
#include <optional>
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_ping.h"
#include "qor_kit/poll.hpp"

namespace qor::ethernet {
namespace {

constexpr uint8_t kPingCommand = 0x26;
constexpr uint32_t kPingAnswerCapacity = 12;
constexpr size_t kStateAnswerBytes = 12;
constexpr uint32_t kPollIntervalMs = 1;

enum PingSubFunction : uint32_t { kStart = 0, kState = 1 };

uint8_t stateOfFirmware(uint32_t state) {
  return static_cast<uint8_t>(state < QOR_ETHERNET_PING_STATE_UNKNOWN ? state : QOR_ETHERNET_PING_STATE_UNKNOWN);
}

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kPingCommand, 1, record, answer, kPingAnswerCapacity);
}

// The firmware's state of the ping, untranslated.
uint32_t readState(const kit::Call& call, uint32_t* state) {
  kit::RecordWriter record(8);
  record.u32(kState).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kStateAnswerBytes)) return code;
  *state = reader.u32(8);
  return 0;
}

uint32_t checkPing(const kit::Call& call, const Qor_Ethernet_Ping_t* ping, const Qor_Ethernet_PingResult_t* result) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, ping, "ping")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (uint32_t code = checkFlags(call, ping->flags, QOR_ETHERNET_PING_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, ping->reserved[0] | ping->reserved[1] | ping->reserved[2])) return code;
  if (ping->protocol > QOR_ETHERNET_PING_MAX_PROTOCOL) {
    return call.fail(kEthernet.code(kInvalidParameter), "unknown protocol value");
  }
  return 0;
}

// Polls while the ping runs, at most QOR_ETHERNET_PING_WAIT_MS; the last state read is the outcome, so a ping still
// running at the end gives the running state, as a start without waiting does.
uint32_t awaitOutcome(const kit::Call& call, uint32_t* state) {
  const std::optional<uint32_t> code = kit::pollUntil(QOR_ETHERNET_PING_WAIT_MS, kPollIntervalMs,
                                                      [&]() -> std::optional<uint32_t> {
                                                        if (uint32_t failure = readState(call, state)) return failure;
                                                        if (*state == QOR_ETHERNET_PING_STATE_RUNNING) return {};
                                                        return 0u;
                                                      });
  return code.value_or(0);
}

uint32_t startPing(const kit::Call& call, const Qor_Ethernet_Ping_t* ping, Qor_Ethernet_PingResult_t* result) {
  if (uint32_t code = checkPing(call, ping, result)) return code;
  kit::RecordWriter record(36);
  record.u32(kStart).u32(ping->flags & ~QOR_ETHERNET_PING_NO_WAIT).u8(ping->protocol).zeros(3);
  record.u16(ping->value1).u16(ping->value2).u32(ping->value3).bytes(ping->address, sizeof ping->address);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  *result = {};
  uint32_t state = QOR_ETHERNET_PING_STATE_RUNNING;
  if ((ping->flags & QOR_ETHERNET_PING_NO_WAIT) == 0) {
    if (uint32_t code = awaitOutcome(call, &state)) return code;
  }
  result->state = stateOfFirmware(state);
  return 0;
}

uint32_t getState(const kit::Call& call, const uint32_t* flags, Qor_Ethernet_PingResult_t* result) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, flags, "flags")) return code;
  if (uint32_t code = checkPointer(call, result, "result")) return code;
  if (uint32_t code = checkFlags(call, *flags, 0)) return code;
  uint32_t state = 0;
  if (uint32_t code = readState(call, &state)) return code;
  *result = {};
  result->state = stateOfFirmware(state);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Ping_Start(uint32_t port, const Qor_Ethernet_Ping_t* ping,
                                 Qor_Ethernet_PingResult_t* result) try {
  return startPing(Call(kEthernet, port), ping, result);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Ping_GetState(uint32_t port, const uint32_t* flags, Qor_Ethernet_PingResult_t* result) try {
  return getState(Call(kEthernet, port), flags, result);
} catch (...) {
  return kEthernet.failedCall(port);
}
