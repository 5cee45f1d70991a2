#include "relay_switch.hpp"

#include <vector>

#include "qor_lin_relays.h"
#include "qor_shared/host_types.hpp"
#include "relay_port.hpp"

namespace qor::lin {
namespace {

constexpr uint8_t kSetCommand = 0x81;
constexpr uint8_t kResetCommand = 0x82;
constexpr uint8_t kSetDirectCommand = 0x83;
constexpr uint8_t kStateCommand = 0x84;
constexpr uint32_t kStateCapacity = 4;
constexpr size_t kRecordHead = 4;

uint32_t setDirect(const kit::Call& call, uint16_t mask) {
  if (uint32_t code = checkLinInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u16(mask).u16(0);
  return onRelayPort(call, [&](const kit::Call& relays) { return relays.send(kSetDirectCommand, record); });
}

uint32_t readState(const kit::Call& call, uint32_t* mask) {
  if (uint32_t code = checkLinInterface(call)) return code;
  if (uint32_t code = call.checkPointer(mask, "relayMask")) return code;
  uint16_t state = 0;
  const uint32_t code = onRelayPort(call, [&](const kit::Call& relays) {
    std::vector<uint8_t> answer;
    if (uint32_t failed = relays.exchange(kStateCommand, 0, kit::RecordWriter(0), answer, kStateCapacity)) {
      return failed;
    }
    const kit::AnswerReader reader(answer);
    if (!reader.has(sizeof state)) return relays.shortAnswer(reader);
    state = reader.u16(0);
    return 0u;
  });
  if (code == 0) *mask = state;
  return code;
}

}  // namespace

bool relaysBehindController1(uint32_t port) {
  const HostType* host = findHostType(Qor_GetHostInterfaceType(port));
  return host != nullptr && host->library.relay == RelayAt::Controller1;
}

uint32_t switchRelays(const kit::Call& call, RelaySwitch how, uint32_t flags, uint8_t count, const uint8_t* relays) {
  if (flags > QOR_LIN_RELAYS_ALL) {
    return call.fail(kit::GeneralError::UnknownFlag, "flag value '0x%x' is unknown", flags);
  }
  const bool all = flags == QOR_LIN_RELAYS_ALL;
  if (!all && count != 0) {
    if (uint32_t code = call.checkPointer(relays, "relays")) return code;
  }
  kit::RecordWriter record(kRecordHead + UINT8_MAX);
  record.u8(all ? 0 : count).u8(all ? 1 : 0).u16(0);
  if (!all) record.bytes(relays, count);
  const uint8_t command = how == RelaySwitch::Set ? kSetCommand : kResetCommand;
  return onRelayPort(call, [&](const kit::Call& relayCall) { return relayCall.send(command, record); });
}

}  // namespace qor::lin

using qor::kit::Call;
using qor::lin::kLin;
using qor::lin::RelaySwitch;

uint32_t Qor_Lin_Relays_Set(uint32_t port, uint32_t flags, uint8_t relayCount, const uint8_t* relays) try {
  const Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::switchRelays(call, RelaySwitch::Set, flags, relayCount, relays);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Relays_Reset(uint32_t port, uint32_t flags, uint8_t relayCount, const uint8_t* relays) try {
  const Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::switchRelays(call, RelaySwitch::Reset, flags, relayCount, relays);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Relays_SetDirect(uint32_t port, uint16_t relayMask) try {
  return qor::lin::setDirect(Call(kLin, port), relayMask);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_Relays_GetState(uint32_t port, uint32_t* relayMask) try {
  return qor::lin::readState(Call(kLin, port), relayMask);
} catch (...) {
  return kLin.failedCall(port);
}
