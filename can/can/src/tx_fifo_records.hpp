// The transmit FIFO's commands and records as the firmware takes them (little endian):
//   0xB0 reset {u32 0}
//   0xB1 one message {u32 identifier, u8 dlc, 3 x 0, the data bytes of the DLC}
//   0xB2 classic chunk {u32 n, n x {u32 identifier, u8 dlc, 3 x 0, u8 data[8]: the first min(dlc, 8) copied}}
//   0xB3 state {} answer {u32 free slots, u32 second state value}
//   0xB4 extended chunk: records back to back, {u32 identifier, u8 dlc, u8 item flag, u8 firmware message flags, u8 0,
//        the data bytes of the DLC, zeros to a multiple of 4}
#pragma once

#include <cstdint>
#include <span>

#include "qor_can_tx_fifo.h"
#include "qor_kit/record_writer.hpp"

namespace qor::can {

inline constexpr uint8_t kTxFifoResetCommand = 0xB0;
inline constexpr uint8_t kTxFifoMessageCommand = 0xB1;
inline constexpr uint8_t kTxFifoClassicChunkCommand = 0xB2;
inline constexpr uint8_t kTxFifoStateCommand = 0xB3;
inline constexpr uint8_t kTxFifoExtendedChunkCommand = 0xB4;

inline constexpr uint32_t kClassicChunkHeadBytes = 4;
inline constexpr uint32_t kClassicRecordBytes = 16;
inline constexpr uint32_t kTxFifoStateBytes = 8;
// Free slots that one message of an extended chunk takes.
inline constexpr uint32_t kExtendedMessageSlots = 2;

// 0xB1's record; the DLC checked, data holding its data bytes.
kit::RecordWriter singleMessageRecord(uint32_t identifier, uint8_t dlc, std::span<const uint8_t> data);

// 0xB2's record for these messages, whose reserved bytes the caller has checked.
kit::RecordWriter classicChunkRecord(std::span<const Qor_Can_TxFifo_Msg_t> messages);

// The highest offset in the item (5 to 7) of a reserved byte that is not 0; 0 when all are.
uint32_t highestReservedOffset(const Qor_Can_TxFifo_Msg_t& message);

// The bytes of a message's record in an extended chunk; the DLC checked.
uint32_t extendedRecordBytes(uint8_t dlc);
// Appends the message's record to an extended chunk; the DLC checked, firmwareFlags translated.
void appendExtendedRecord(kit::RecordWriter& chunk, const Qor_Can_TxFifo_Msg2_t& message, uint8_t firmwareFlags);

}  // namespace qor::can
