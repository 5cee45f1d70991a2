// Pools of N-PDUs for transmission (command 0x30) and reception (0x31). Records begin with the pool and a u32
// sub-function and go with five control bytes, so the answer is matched on the pool and the sub-function's low byte.
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_pdu.h"

namespace qor::flexray {
namespace {

enum PoolCommand : uint8_t { kTxPoolCommand = 0x30, kRxPoolCommand = 0x31 };
enum PoolSubFunction : uint32_t { kAddNPdu = 0, kAddPdu = 1, kDeletePool = 2 };

constexpr uint8_t kPoolControlBytes = 5;

uint32_t exchangePool(const kit::Call& call, PoolCommand command, const kit::RecordWriter& record) {
  std::vector<uint8_t> answer;
  return call.exchange(command, kPoolControlBytes, record, answer);
}

kit::RecordWriter poolRecord(uint32_t pool, PoolSubFunction subFunction, size_t bytes) {
  kit::RecordWriter record(bytes);
  record.u32(pool).u32(subFunction);
  return record;
}

// The flag word and the u16 value as the firmware takes them.
uint32_t addNPdu(const kit::Call& call, PoolCommand command, uint32_t pool, const Qor_FlexRay_NPdu_t& nPdu,
                 uint32_t firmwareFlag, uint16_t value16) {
  if (uint32_t code = checkChannel(call, nPdu.channel)) return code;
  kit::RecordWriter record = poolRecord(pool, kAddNPdu, 24);
  record.u32(firmwareFlag).u16(nPdu.slotIdentifier).u8(nPdu.selector1).u8(nPdu.selector2).u8(nPdu.channel);
  record.bytes(nPdu.values, sizeof nPdu.values).u16(value16).u16(0);
  return exchangePool(call, command, record);
}

// A transmit N-PDU's reserved field counts only with a flag set; its value always travels.
uint32_t addTxNPdu(const kit::Call& call, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu) {
  if (uint32_t code = checkRecord(call, nPdu, "nPdu", QOR_FLEXRAY_NPDU_FLAGS)) return code;
  if (nPdu->flags != 0) {
    if (uint32_t code = call.checkReserved(nPdu->reserved, "reserved bytes have to be '0'")) return code;
  }
  return addNPdu(call, kTxPoolCommand, pool, *nPdu, nPdu->flags, nPdu->value16);
}

// A receive N-PDU's reserved field counts always; its value travels only with flag bit 0.
uint32_t addRxNPdu(const kit::Call& call, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(nPdu, "nPdu")) return code;
  if (uint32_t code = call.checkReserved(nPdu->reserved, "reserved bytes must be zero")) return code;
  if (uint32_t code = call.checkFlags(nPdu->flags, QOR_FLEXRAY_NPDU_FLAGS)) return code;
  const bool withValue = nPdu->flags != 0;
  return addNPdu(call, kRxPoolCommand, pool, *nPdu, withValue ? 1 : 0, withValue ? nPdu->value16 : 0);
}

uint32_t addPdu(const kit::Call& call, PoolCommand command, uint32_t pool, const Qor_FlexRay_PoolPdu_t* pdu) {
  if (uint32_t code = checkRecord(call, pdu, "pdu", 0)) return code;
  kit::RecordWriter record = poolRecord(pool, kAddPdu, 16);
  record.u32(0).u32(pdu->pduIdentifier);
  return exchangePool(call, command, record);
}

uint32_t deletePool(const kit::Call& call, PoolCommand command, uint32_t pool) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  return exchangePool(call, command, poolRecord(pool, kDeletePool, 8));
}

}  // namespace
}  // namespace qor::flexray

using namespace qor::flexray;
using qor::kit::Call;

uint32_t Qor_FlexRay_NPduPool_Tx_AddNPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu) try {
  return addTxNPdu(Call(kFlexRay, port), pool, nPdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_NPduPool_Rx_AddNPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_NPdu_t* nPdu) try {
  return addRxNPdu(Call(kFlexRay, port), pool, nPdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_NPduPool_Tx_AddPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_PoolPdu_t* pdu) try {
  return addPdu(Call(kFlexRay, port), kTxPoolCommand, pool, pdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_NPduPool_Rx_AddPdu(uint32_t port, uint32_t pool, const Qor_FlexRay_PoolPdu_t* pdu) try {
  return addPdu(Call(kFlexRay, port), kRxPoolCommand, pool, pdu);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_NPduPool_Tx_DeletePool(uint32_t port, uint32_t pool) try {
  return deletePool(Call(kFlexRay, port), kTxPoolCommand, pool);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_NPduPool_Rx_DeletePool(uint32_t port, uint32_t pool) try {
  return deletePool(Call(kFlexRay, port), kRxPoolCommand, pool);
} catch (...) {
  return kFlexRay.failedCall(port);
}
