// Deleting, connecting and disconnecting a transmit FIFO and reading its state.
#include "ethernet_library.hpp"
#include "qor_ethernet_tx_fifo.h"
#include "tx_fifo_command.hpp"

namespace qor::ethernet {
namespace {

constexpr uint32_t kDeleteFlags = 0x01;
constexpr size_t kStateAnswerBytes = 8;
constexpr uint8_t kHighestFirmwareState = 3;

// The firmware's states 0 to 3 are the caller's 1 to 4; 0 stands for any other.
uint8_t stateOf(uint32_t firmwareState) {
  return firmwareState <= kHighestFirmwareState ? static_cast<uint8_t>(firmwareState + 1) : 0;
}

kit::RecordWriter keyRecord(TxFifoSubFunction subFunction, uint32_t second, uint32_t third) {
  kit::RecordWriter record(12);
  record.u32(subFunction).u32(second).u32(third);
  return record;
}

uint32_t deleteFifo(const kit::Call& call, const Qor_Ethernet_TxFifo_DeleteKey_t* key) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  if (uint32_t code = checkFlags(call, key->flags, kDeleteFlags)) return code;
  std::vector<uint8_t> answer;
  return exchangeTxFifo(call, keyRecord(kTxFifoDelete, key->flags, key->fifoId), answer);
}

// Connect, disconnect and state: {sub-function, FIFO, 0}.
uint32_t checkKey(const kit::Call& call, const Qor_Ethernet_TxFifo_Key_t* key) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  return checkFlags(call, key->flags, 0);
}

uint32_t switchFifo(const kit::Call& call, TxFifoSubFunction subFunction, const Qor_Ethernet_TxFifo_Key_t* key) {
  if (uint32_t code = checkKey(call, key)) return code;
  std::vector<uint8_t> answer;
  return exchangeTxFifo(call, keyRecord(subFunction, key->fifoId, 0), answer);
}

uint32_t readState(const kit::Call& call, const Qor_Ethernet_TxFifo_Key_t* key, Qor_Ethernet_TxFifo_State_t* state) {
  if (uint32_t code = checkKey(call, key)) return code;
  if (uint32_t code = checkPointer(call, state, "state")) return code;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTxFifo(call, keyRecord(kTxFifoState, key->fifoId, 0), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kStateAnswerBytes)) return code;
  *state = Qor_Ethernet_TxFifo_State_t{stateOf(reader.u32(4)), {0, 0, 0}};
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_TxFifo_Delete(uint32_t port, const Qor_Ethernet_TxFifo_DeleteKey_t* key) try {
  return deleteFifo(Call(kEthernet, port), key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Connect(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key) try {
  return switchFifo(Call(kEthernet, port), kTxFifoConnect, key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_Disconnect(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key) try {
  return switchFifo(Call(kEthernet, port), kTxFifoDisconnect, key);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_GetState(uint32_t port, const Qor_Ethernet_TxFifo_Key_t* key,
                                      Qor_Ethernet_TxFifo_State_t* state) try {
  return readState(Call(kEthernet, port), key, state);
} catch (...) {
  return kEthernet.failedCall(port);
}
