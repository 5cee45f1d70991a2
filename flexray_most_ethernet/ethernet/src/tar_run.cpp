// Starting and stopping a TAR instance and reading its state.
#include "ethernet_library.hpp"
#include "qor_ethernet_tar.h"
#include "tar_command.hpp"

namespace qor::ethernet {
namespace {

constexpr size_t kStateAnswerBytes = 16;
constexpr uint8_t kHighestFirmwareState = 4;
constexpr uint8_t kUnknownState = 5;

kit::RecordWriter instanceRecord(TarSubFunction subFunction, uint8_t instance, uint8_t mode = 0) {
  kit::RecordWriter record(8);
  record.u32(subFunction).u8(instance).u8(mode).u16(0);
  return record;
}

uint32_t checkKey(const kit::Call& call, const Qor_Ethernet_Tar_Key_t* key) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  return checkReserved(call, key->reserved);
}

uint32_t start(const kit::Call& call, const Qor_Ethernet_Tar_StartKey_t* key) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  if (uint32_t code = checkReserved(call, key->reserved)) return code;
  if (key->mode > QOR_ETHERNET_TAR_MAX_START_MODE) return call.fail(kEthernet.code(kUnknownMode));
  return exchangeTar(call, instanceRecord(kTarStart, key->instance, key->mode));
}

uint32_t stop(const kit::Call& call, const Qor_Ethernet_Tar_Key_t* key) {
  if (uint32_t code = checkKey(call, key)) return code;
  return exchangeTar(call, instanceRecord(kTarStop, key->instance));
}

uint32_t readState(const kit::Call& call, const Qor_Ethernet_Tar_Key_t* key, Qor_Ethernet_Tar_State_t* state) {
  if (uint32_t code = checkKey(call, key)) return code;
  if (uint32_t code = checkPointer(call, state, "state")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTar(call, instanceRecord(kTarState, key->instance), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kStateAnswerBytes)) return code;
  const uint8_t firmwareState = reader.u8(5);
  state->value = reader.u8(4);
  state->flag = reader.u8(6) & 1u;
  state->state = firmwareState <= kHighestFirmwareState ? firmwareState : kUnknownState;
  state->reserved = 0;
  state->firstValue = reader.u32(8);
  state->secondValue = reader.u32(12);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Tar_Start(uint32_t port, const Qor_Ethernet_Tar_StartKey_t* key) try {
  return start(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_Stop(uint32_t port, const Qor_Ethernet_Tar_Key_t* key) try {
  return stop(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Tar_GetState(uint32_t port, const Qor_Ethernet_Tar_Key_t* key,
                                   Qor_Ethernet_Tar_State_t* state) try {
  return readState(Call(kEthernet, port), key, state);
} catch (...) {
  return kEthernet.failedCall(port);
}
