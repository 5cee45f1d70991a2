// The control-message transmitter's state, synchronous and through the asynchronous triple: the firmware's status
// and the busy bit.
#include <span>
#include <vector>

#include "cms_tx_state.hpp"
#include "most_library.hpp"
#include "qor_kit/async_family.hpp"
#include "qor_most_cms.h"

namespace qor::most {
namespace {

constexpr uint8_t kReadTxState = 1;
constexpr uint32_t kAnswerCapacity = 12;
constexpr size_t kAnswerBytes = 12;
constexpr const char* kAsyncFunction = "Qor_Most_Cms_GetTxState_Async";

kit::AsyncFamily txStateFamily() { return kit::AsyncFamily(kCmsCommand, {kReadTxState}, 0); }

kit::RecordWriter txStateRequest() {
  kit::RecordWriter record(4);
  record.u8(kReadTxState).u8(0).u16(0);
  return record;
}

struct TxState {
  uint32_t firmwareStatus;
  uint32_t busy;
};

TxState decodeTxState(const kit::AnswerReader& answer) { return {answer.u32(8), answer.u8(4) & 1u}; }

uint32_t getTxState(const kit::Call& call, uint32_t* status, uint32_t* busy) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(status, "status")) return code;
  if (uint32_t code = call.checkPointer(busy, "busy")) return code;
  return readCmsTxState(call, status, busy);
}

uint32_t requestTxState(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return txStateFamily().request(call, txStateRequest());
}

// On the port's callback thread.
void txStateRelay(uint32_t port, void* context, const uint8_t* data, uint32_t length) {
  const kit::AnswerReader answer(std::span(data, length));
  if (!answer.has(kAnswerBytes)) {
    kit::reportRelayFailure(port, kMost.code(kit::GeneralError::InvalidResponseLength), kAsyncFunction);
    return;
  }
  const TxState state = decodeTxState(answer);
  uint32_t status = 0;
  if (uint32_t code = translateStatus(kit::Call(kMost, port), state.firmwareStatus, &status)) {
    kit::reportRelayFailure(port, code, kAsyncFunction);
    return;
  }
  kit::AsyncFamily::applicationCallback<Qor_Most_Cms_GetTxStateCallback_t>(context)(port, status, state.busy);
}

uint32_t addTxStateCallback(const kit::Call& call, Qor_Most_Cms_GetTxStateCallback_t callback) {
  if (uint32_t code = checkMostInterface(call)) return code;
  if (uint32_t code = call.checkPointer(reinterpret_cast<const void*>(callback), "callback")) return code;
  return txStateFamily().add(call.port(), txStateRelay, callback);
}

uint32_t removeTxStateCallback(const kit::Call& call) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return txStateFamily().remove(call.port());
}

}  // namespace

uint32_t readCmsTxState(const kit::Call& call, uint32_t* status, uint32_t* busy) {
  std::vector<uint8_t> bytes;
  if (uint32_t code = call.exchange(kCmsCommand, 1, txStateRequest(), bytes, kAnswerCapacity)) return code;
  const kit::AnswerReader answer(bytes);
  if (!answer.has(kAnswerBytes)) return shortAnswer(call, answer.size());
  const TxState state = decodeTxState(answer);
  if (uint32_t code = translateStatus(call, state.firmwareStatus, status)) return code;
  *busy = state.busy;
  return 0;
}

}  // namespace qor::most

using qor::kit::Call;
using qor::most::kMost;

uint32_t Qor_Most_Cms_GetTxState(uint32_t port, uint32_t* status, uint32_t* busy) try {
  return qor::most::getTxState(Call(kMost, port), status, busy);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Cms_GetTxState_Async(uint32_t port) try {
  return qor::most::requestTxState(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Cms_GetTxState_Async_AddCallback(uint32_t port, Qor_Most_Cms_GetTxStateCallback_t callback) try {
  return qor::most::addTxStateCallback(Call(kMost, port), callback);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_Cms_GetTxState_Async_RemoveCallback(uint32_t port) try {
  return qor::most::removeTxStateCallback(Call(kMost, port));
} catch (...) {
  return kMost.failedCall(port);
}
