#include <algorithm>

#include "can_library.hpp"
#include "node_configuration.hpp"
#include "qor_can_node.h"

namespace qor::can {
namespace {

constexpr uint32_t kFdStateGetFlags = 0;

// A one-byte FD setting: its property, its field in each form, the highest value it takes.
struct FdSetting {
  NodeProperty property;
  const char* name;
  uint8_t Qor_Can_Node_FdState_t::*readField;
  uint32_t writeFlag;
  uint8_t Qor_Can_Node_FdStateSet_t::*writeField;
  uint8_t highest;
};

// In the order the firmware is asked and told.
constexpr FdSetting kFdSettings[] = {
    {kTxBrsGlobal, "TxBrs_Global", &Qor_Can_Node_FdState_t::TxBrs_Global, QOR_CAN_FD_STATE_TX_BRS_GLOBAL,
     &Qor_Can_Node_FdStateSet_t::TxBrs_Global, 2},
    {kTxBrsInitValue, "TxBrs_InitValue", &Qor_Can_Node_FdState_t::TxBrs_InitValue, QOR_CAN_FD_STATE_TX_BRS_INIT_VALUE,
     &Qor_Can_Node_FdStateSet_t::TxBrs_InitValue, 1},
    {kTxEsiGlobal, "TxEsi_Global", &Qor_Can_Node_FdState_t::TxEsi_Global, QOR_CAN_FD_STATE_TX_ESI_GLOBAL,
     &Qor_Can_Node_FdStateSet_t::TxEsi_Global, 2},
    {kTxEsiInitValue, "TxEsi_InitValue", &Qor_Can_Node_FdState_t::TxEsi_InitValue, QOR_CAN_FD_STATE_TX_ESI_INIT_VALUE,
     &Qor_Can_Node_FdStateSet_t::TxEsi_InitValue, 1},
    {kFdFrameFormatSpec, "FdFrameFormatSpec", &Qor_Can_Node_FdState_t::FdFrameFormatSpec,
     QOR_CAN_FD_STATE_FRAME_FORMAT_SPEC, &Qor_Can_Node_FdStateSet_t::FdFrameFormatSpec, 1},
};
constexpr uint8_t kHighestFdValue = 4;

// The value, or the one past the range for any other.
uint8_t withinRange(uint32_t value, uint8_t highest) {
  return static_cast<uint8_t>(std::min<uint32_t>(value, highest + 1u));
}

// Each field is written as soon as its property is read, so a failure keeps those read before it.
uint32_t readFdState(const kit::Call& call, uint32_t flags, Qor_Can_Node_FdState_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, kFdStateGetFlags)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  uint32_t value = 0;
  if (uint32_t code = kNodeProperties.read(call, kFdFlag, &value)) return code;
  state->flags = value != 0 ? 1 : 0;
  state->reserved = 0;
  if (uint32_t code = kNodeProperties.read(call, kFdValue, &value)) return code;
  state->fdValue = withinRange(value, kHighestFdValue);
  for (const FdSetting& setting : kFdSettings) {
    if (uint32_t code = kNodeProperties.read(call, setting.property, &value)) return code;
    state->*setting.readField = withinRange(value, setting.highest);
  }
  if (uint32_t code = kNodeProperties.read(call, kFdWord, &value)) return code;
  state->fdWord = value;
  return 0;
}

// Everything is checked before the first property is written.
uint32_t checkFdState(const kit::Call& call, const Qor_Can_Node_FdStateSet_t& state) {
  if (uint32_t code = call.checkFlags(state.flags, QOR_CAN_FD_STATE_FLAGS_VALID)) return code;
  if (uint32_t code = call.checkReserved(state.reserved, "reserved bytes have to be zero")) return code;
  for (const FdSetting& setting : kFdSettings) {
    const uint8_t value = state.*setting.writeField;
    if ((state.flags & setting.writeFlag) != 0 && value > setting.highest) {
      return call.fail(kit::GeneralError::InvalidParameter, "'%s' '0x%02x' is out of range", setting.name,
                       unsigned{value});
    }
  }
  return 0;
}

uint32_t writeFdState(const kit::Call& call, const Qor_Can_Node_FdStateSet_t* state) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(state, "state")) return code;
  if (uint32_t code = checkFdState(call, *state)) return code;
  for (const FdSetting& setting : kFdSettings) {
    if ((state->flags & setting.writeFlag) == 0) continue;
    if (uint32_t code = kNodeProperties.set(call, setting.property, state->*setting.writeField)) return code;
  }
  if ((state->flags & QOR_CAN_FD_STATE_FD_WORD) != 0) return kNodeProperties.set(call, kFdWord, state->fdWord);
  return 0;
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Node_FdState_Get(uint32_t port, uint32_t flags, Qor_Can_Node_FdState_t* state) try {
  return qor::can::readFdState(Call(kCan, port), flags, state);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_FdState_Set(uint32_t port, const Qor_Can_Node_FdStateSet_t* state) try {
  return qor::can::writeFdState(Call(kCan, port), state);
} catch (...) {
  return kCan.failedCall(port);
}
