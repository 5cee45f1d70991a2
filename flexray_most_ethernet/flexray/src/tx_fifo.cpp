// The transmit FIFOs (command 0x32): configured for a PDU or an N-PDU pool, deleted, and written with PDU data in
// records of whole entries within the port's maximum parameter length. Every entry is checked before the first record
// leaves, so a refused write has queued nothing.
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_tx_fifo.h"
#include "qor_kit/chunk_packer.hpp"

namespace qor::flexray {
namespace {

using kit::GeneralError;

constexpr uint8_t kTxFifoCommand = 0x32;
constexpr uint32_t kTxFifoAnswerCapacity = 8;
enum TxFifoSubFunction : uint32_t { kConfigure = 0, kDelete = 1, kWrite = 2 };
enum FifoType : uint8_t { kPduFifo = 0, kNPduPoolFifo = 1 };

constexpr size_t kConfigureAnswerBytes = 8;
constexpr uint32_t kWriteHeadBytes = 8;
constexpr uint32_t kEntryHeadBytes = 2;

uint32_t exchangeFifo(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kTxFifoCommand, 1, record, answer, kTxFifoAnswerCapacity);
}

uint32_t configure(const kit::Call& call, FifoType type, const Qor_FlexRay_TxFifo_t* fifo, uint32_t* fifoId) {
  if (uint32_t code = checkRecord(call, fifo, "fifo", QOR_FLEXRAY_TX_FIFO_FLAGS)) return code;
  if (uint32_t code = call.checkPointer(fifoId, "fifoId")) return code;
  if (uint32_t code = call.checkReserved(fifo->reserved, "reserved bytes have to be 0")) return code;
  if (uint32_t code = call.checkReserved(fifo->reservedWord, "reserved bytes have to be 0")) return code;
  kit::RecordWriter record(28);
  record.u32(kConfigure).u8(static_cast<uint8_t>(fifo->flags)).zeros(3).u32(fifo->firstValue).u32(fifo->secondValue);
  record.u8(type).u8(fifo->value).u16(0).u32(fifo->fourthValue).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeFifo(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kConfigureAnswerBytes)) return call.shortAnswer(reader);
  *fifoId = reader.u32(4);
  return 0;
}

uint32_t deleteFifo(const kit::Call& call, const Qor_FlexRay_TxFifoKey_t* key) {
  if (uint32_t code = checkRecord(call, key, "key", QOR_FLEXRAY_TX_FIFO_FLAGS)) return code;
  kit::RecordWriter record(12);
  record.u32(kDelete).u32(key->flags).u32(key->fifoId);
  std::vector<uint8_t> answer;
  return exchangeFifo(call, record, answer);
}

// A length above the slot's data bytes would read past the slot.
uint32_t checkEntry(const kit::Call& call, const Qor_FlexRay_TxFifoEntry_t& entry, uint32_t index) {
  if (entry.reserved != 0) {
    return call.fail(GeneralError::InvalidParameter, "reserved byte of entry with index %u is not 0", index);
  }
  if (entry.length > QOR_FLEXRAY_TX_FIFO_ENTRY_DATA_BYTES) {
    return call.fail(GeneralError::InvalidParameter, "length %u of entry with index %u is above %u", entry.length,
                     index, QOR_FLEXRAY_TX_FIFO_ENTRY_DATA_BYTES);
  }
  return 0;
}

kit::RecordWriter writeHead(uint32_t fifoId, size_t capacity) {
  kit::RecordWriter record(capacity);
  record.u32(kWrite).u32(fifoId);
  return record;
}

uint32_t write(const kit::Call& call, uint32_t fifoId, uint32_t count, const Qor_FlexRay_TxFifoEntry_t* entries) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (count != 0) {
    if (uint32_t code = call.checkPointer(entries, "entries")) return code;
  }
  uint32_t limit = 0;
  if (uint32_t code = call.pieceLength(kWriteHeadBytes, &limit)) return code;
  for (uint32_t index = 0; index < count; ++index) {
    if (uint32_t code = checkEntry(call, entries[index], index)) return code;
  }
  std::vector<uint8_t> answer;
  if (count == 0) return exchangeFifo(call, writeHead(fifoId, kWriteHeadBytes), answer);
  // An entry of at most 256 bytes fits any port's record; were one not to, its record would be refused alone.
  const kit::ChunkPacker packer(count, limit, [&](uint32_t index) { return kEntryHeadBytes + entries[index].length; });
  return packer.sendAll([&](uint32_t first, uint32_t chunkEntries) {
    kit::RecordWriter record = writeHead(fifoId, kWriteHeadBytes + limit);
    for (uint32_t index = first; index < first + chunkEntries; ++index) {
      record.u8(entries[index].length).u8(0).bytes(entries[index].data, entries[index].length);
    }
    return exchangeFifo(call, record, answer);
  });
}

}  // namespace
}  // namespace qor::flexray

using namespace qor::flexray;
using qor::kit::Call;

uint32_t Qor_FlexRay_TxFifo_Config_Pdu(uint32_t port, const Qor_FlexRay_TxFifo_t* fifo, uint32_t* fifoId) try {
  return configure(Call(kFlexRay, port), kPduFifo, fifo, fifoId);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_TxFifo_Config_NPduPool(uint32_t port, const Qor_FlexRay_TxFifo_t* fifo, uint32_t* fifoId) try {
  return configure(Call(kFlexRay, port), kNPduPoolFifo, fifo, fifoId);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_TxFifo_Delete(uint32_t port, const Qor_FlexRay_TxFifoKey_t* key) try {
  return deleteFifo(Call(kFlexRay, port), key);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_TxFifo_Write(uint32_t port, uint32_t fifoId, uint32_t count,
                                  const Qor_FlexRay_TxFifoEntry_t* entries) try {
  return write(Call(kFlexRay, port), fifoId, count, entries);
} catch (...) {
  return kFlexRay.failedCall(port);
}
