#include "tx_fifo_state.hpp"

#include <vector>

#include "can_library.hpp"
#include "qor_can_tx_fifo.h"
#include "qor_kit/async_family.hpp"
#include "tx_fifo_records.hpp"

namespace qor::can {
namespace {

using kit::AsyncFamily;

const AsyncFamily kStateFamily(kTxFifoStateCommand, {}, 0);

// On the port's callback thread.
void stateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const std::optional<TxFifoState> state = decodeTxFifoState(std::span(data, length));
  if (!state) {
    kit::reportRelayFailure(port, kCan.code(kit::GeneralError::InvalidResponseLength), "Qor_Can_TxFifo_GetState_Async");
    return;
  }
  AsyncFamily::applicationCallback<Qor_Can_TxFifo_GetState_Callback_t>(context)(port, state->secondValue,
                                                                              state->freeSlots);
}

uint32_t getState(const kit::Call& call, uint32_t* secondState, uint32_t* freeSlots) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(secondState, "secondState")) return code;
  if (uint32_t code = call.checkPointer(freeSlots, "freeSlots")) return code;
  TxFifoState state{};
  if (uint32_t code = readTxFifoState(call, state)) return code;
  *secondState = state.secondValue;
  *freeSlots = state.freeSlots;
  return 0;
}

}  // namespace

std::optional<TxFifoState> decodeTxFifoState(std::span<const uint8_t> answer) {
  const kit::AnswerReader reader(answer);
  if (!reader.has(kTxFifoStateBytes)) return std::nullopt;
  return TxFifoState{reader.u32(0), reader.u32(4)};
}

uint32_t readTxFifoState(const kit::Call& call, TxFifoState& state) {
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kTxFifoStateCommand, 0, kit::RecordWriter(0), answer, kTxFifoStateBytes)) {
    return code;
  }
  const std::optional<TxFifoState> decoded = decodeTxFifoState(answer);
  if (!decoded) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "%u", static_cast<unsigned>(answer.size()));
  }
  state = *decoded;
  return 0;
}

}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_TxFifo_GetState(uint32_t port, uint32_t* secondState, uint32_t* freeSlots) try {
  return qor::can::getState(Call(kCan, port), secondState, freeSlots);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_GetState_Async(uint32_t port) try {
  const Call call(kCan, port);
  if (uint32_t code = qor::can::checkCanInterface(call)) return code;
  return qor::can::kStateFamily.request(call, qor::kit::RecordWriter(0));
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_GetState_Async_AddCallback(uint32_t port, Qor_Can_TxFifo_GetState_Callback_t callback) try {
  // The same refusal as Call::checkPointer's, for a function pointer.
  if (callback == nullptr) return Call(kCan, port).fail(qor::kit::GeneralError::InvalidParameter, "'callback' is NULL");
  return qor::can::kStateFamily.add(port, qor::can::stateRelay, callback);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_TxFifo_GetState_Async_RemoveCallback(uint32_t port) try {
  return qor::can::kStateFamily.remove(port);
} catch (...) {
  return kCan.failedCall(port);
}
