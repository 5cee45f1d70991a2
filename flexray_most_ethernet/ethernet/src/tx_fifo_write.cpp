// Writing frames into a transmit FIFO: chunks of whole entries within the port's maximum parameter length and the
// FIFO's free slots, which each write's answer reports. Every entry is checked before the first chunk leaves, so a
// refused call has queued nothing.
#include <algorithm>
#include <iterator>
#include <optional>

#include "ethernet_library.hpp"
#include "qor_ethernet_tx_fifo.h"
#include "qor_kit/chunk_packer.hpp"
#include "qor_kit/poll.hpp"
#include "tx_fifo_command.hpp"

namespace qor::ethernet {
namespace {

constexpr uint32_t kWriteHeadBytes = 8;
constexpr uint32_t kEntryHeadBytes = 4;
constexpr size_t kWriteAnswerBytes = 8;
constexpr uint32_t kFreeSlotsTimeoutMs = 1000;
constexpr uint32_t kPollIntervalMs = 1;

uint32_t entryBytes(const Qor_Ethernet_TxFifo_Entry_t& entry) { return kEntryHeadBytes + entry.length; }

// Sends the write record and reads the free slots its answer reports.
uint32_t exchangeWrite(const kit::Call& call, const kit::RecordWriter& record, uint32_t& freeSlots) {
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeTxFifo(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kWriteAnswerBytes)) return code;
  freeSlots = reader.u32(4);
  return 0;
}

kit::RecordWriter writeHead(uint32_t fifoId, size_t capacity) {
  kit::RecordWriter record(capacity);
  record.u32(kTxFifoWrite).u32(fifoId);
  return record;
}

// Empty writes until one reports a free slot; freeSlots holds the last count reported.
uint32_t waitForFreeSlots(const kit::Call& call, uint32_t fifoId, uint32_t& freeSlots) {
  const std::optional<uint32_t> result =
      kit::pollUntil(kFreeSlotsTimeoutMs, kPollIntervalMs, [&]() -> std::optional<uint32_t> {
        if (uint32_t code = exchangeWrite(call, writeHead(fifoId, kWriteHeadBytes), freeSlots)) return code;
        return freeSlots != 0 ? std::optional<uint32_t>(0) : std::nullopt;
      });
  return result ? *result : call.fail(kEthernet.code(kTxFifoError), "no free slots available");
}

uint32_t checkEntry(const kit::Call& call, const Qor_Ethernet_TxFifo_Entry_t& entry, uint32_t index,
                    uint32_t limit) {
  if (std::any_of(std::begin(entry.reserved), std::end(entry.reserved), [](uint8_t byte) { return byte != 0; })) {
    return call.fail(kEthernet.code(kInvalidParameter), "reserved bytes in entry with index %u are not zero", index);
  }
  if (entry.length != 0 && entry.data == nullptr) {
    return call.fail(kEthernet.code(kInvalidParameter), "'data' of entry with index %u is NULL", index);
  }
  if (entryBytes(entry) > limit) {
    return call.fail(kEthernet.code(kInvalidParameter), "entry with index %u: %u bytes exceed the %u that a write holds",
                     index, static_cast<unsigned>(entry.length), limit - kEntryHeadBytes);
  }
  return 0;
}

uint32_t write(const kit::Call& call, uint32_t flags, uint32_t fifoId, uint32_t count,
               const Qor_Ethernet_TxFifo_Entry_t* entries) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkFlags(call, flags, 0)) return code;
  if (count != 0) {
    if (uint32_t code = checkPointer(call, entries, "entries")) return code;
  }
  uint32_t parameterLength = 0;
  if (uint32_t code = itemRecordLength(call, kWriteHeadBytes, kEntryHeadBytes, "entry", parameterLength)) return code;
  const uint32_t limit = parameterLength - kWriteHeadBytes;
  for (uint32_t index = 0; index < count; ++index) {
    if (uint32_t code = checkEntry(call, entries[index], index, limit)) return code;
  }
  uint32_t freeSlots = 0;
  if (count == 0) {
    // Nothing to write still waits for room, and reports what the FIFO answers.
    if (uint32_t code = waitForFreeSlots(call, fifoId, freeSlots)) return code;
    return exchangeWrite(call, writeHead(fifoId, kWriteHeadBytes), freeSlots);
  }
  const kit::ChunkPacker packer(count, limit, [&](uint32_t index) { return entryBytes(entries[index]); });
  return packer.sendAll([&](uint32_t& slots) { return waitForFreeSlots(call, fifoId, slots); },
                        [&](uint32_t first, uint32_t chunkEntries, uint32_t& slots) {
                          kit::RecordWriter record = writeHead(fifoId, parameterLength);
                          for (uint32_t index = first; index < first + chunkEntries; ++index) {
                            record.u16(entries[index].length).u16(0).bytes(entries[index].data, entries[index].length);
                          }
                          return exchangeWrite(call, record, slots);
                        });
}

uint32_t waitForFreeSlotsOf(const kit::Call& call, uint32_t fifoId, uint32_t* freeSlots) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, freeSlots, "freeSlots")) return code;
  return waitForFreeSlots(call, fifoId, *freeSlots);
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_TxFifo_Write(uint32_t port, uint32_t flags, uint32_t fifoId, uint32_t count,
                                   const Qor_Ethernet_TxFifo_Entry_t* entries) try {
  return write(Call(kEthernet, port), flags, fifoId, count, entries);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_TxFifo_WaitForFreeSlots(uint32_t port, uint32_t fifoId, uint32_t* freeSlots) try {
  return waitForFreeSlotsOf(Call(kEthernet, port), fifoId, freeSlots);
} catch (...) {
  return kEthernet.failedCall(port);
}
