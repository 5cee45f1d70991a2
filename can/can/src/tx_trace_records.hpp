// The transmit trace command 0x79 {u32 sub-function, u32 handle, ...}; its answer repeats the two words:
//   0 allocate {0, 0}                                   answer: u32 handle at 8
//   1 free, 3 play {u32 0}, 4 state                     state answer: u32 state bits at 8, u32 at 12, u32 at 16
//   2 download {u32 flags, u32 n, n records}
//   5 set property {u16 id, u16 0, u32 value}; 6 get property {u16 id, u16 0}, answer: u16 id at 8, u32 value at 12
// A download record: {u32 first value, u32 identifier (bit 30 set for more than 8 data bytes), u8 dlc, u8 option 1,
// u8 option 3, u8 option 2, data: 8 bytes (the data bytes copied, zeros after) for up to 8 data bytes, else the data
// bytes of the DLC}.
#pragma once

#include <cstdint>

#include "qor_can_tx_trace.h"
#include "qor_kit/record_writer.hpp"

namespace qor::can {

inline constexpr uint8_t kTxTraceCommand = 0x79;
inline constexpr uint8_t kTxTraceControlBytes = 2;
inline constexpr uint32_t kTxTraceAnswerCapacity = 20;

enum TxTraceSubFunction : uint32_t {
  kTraceAllocate = 0,
  kTraceFree = 1,
  kTraceDownload = 2,
  kTracePlay = 3,
  kTraceState = 4,
  kTraceSetProperty = 5,
  kTraceGetProperty = 6,
};

inline constexpr uint32_t kTraceDownloadHeadBytes = 16;
// The longest download record: 12 bytes and 64 data bytes.
inline constexpr uint32_t kLongestTraceRecordBytes = 76;
// Download flag bit 0: the chunk adds to what the trace holds.
inline constexpr uint32_t kTraceDownloadContinues = 1u << 0;

// The bytes of an item's download record; the DLC checked.
uint32_t traceRecordBytes(uint8_t dlc);
// Appends the item's download record; the DLC checked.
void appendTraceRecord(kit::RecordWriter& records, const Qor_Can_TxTrace_Item_t& item);

// The state of the API from the firmware's state bits: bits 0 and 1 as 0 to 3, plus 4 for bit 2.
uint32_t traceStateOfBits(uint32_t bits);

}  // namespace qor::can
