#include "tx_fifo_records.hpp"

#include <algorithm>

#include "can_library.hpp"

namespace qor::can {
namespace {

constexpr uint32_t kMessageHeadBytes = 8;
constexpr uint8_t kClassicDataBytes = 8;

}  // namespace

kit::RecordWriter singleMessageRecord(uint32_t identifier, uint8_t dlc, std::span<const uint8_t> data) {
  kit::RecordWriter record(kMessageHeadBytes + data.size());
  record.u32(identifier).u8(dlc).zeros(3).bytes(data);
  return record;
}

kit::RecordWriter classicChunkRecord(std::span<const Qor_Can_TxFifo_Msg_t> messages) {
  kit::RecordWriter record(kClassicChunkHeadBytes + kClassicRecordBytes * messages.size());
  record.u32(static_cast<uint32_t>(messages.size()));
  for (const Qor_Can_TxFifo_Msg_t& message : messages) {
    const uint8_t copied = std::min(message.dlc, kClassicDataBytes);
    record.u32(message.identifier).u8(message.dlc).zeros(3);
    record.bytes(message.data, copied).zeros(kClassicDataBytes - copied);
  }
  return record;
}

uint32_t highestReservedOffset(const Qor_Can_TxFifo_Msg_t& message) {
  for (uint32_t index = sizeof message.reserved; index > 0; --index) {
    if (message.reserved[index - 1] != 0) return offsetof(Qor_Can_TxFifo_Msg_t, reserved) + index - 1;
  }
  return 0;
}

uint32_t extendedRecordBytes(uint8_t dlc) { return (kMessageHeadBytes + dataBytesOfDlc(dlc) + 3) & ~3u; }

void appendExtendedRecord(kit::RecordWriter& chunk, const Qor_Can_TxFifo_Msg2_t& message, uint8_t firmwareFlags) {
  chunk.u32(message.identifier).u8(message.dlc).u8(message.itemFlag).u8(firmwareFlags).u8(0);
  chunk.bytes(message.data, dataBytesOfDlc(message.dlc)).padTo4();
}

}  // namespace qor::can
