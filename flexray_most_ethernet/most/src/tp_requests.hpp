// The transport-protocol channels' command (0x81): every record begins {u8 selector, u8 channel, u16 0}, and the
// answer is matched on the selector and the channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qor_kit/call.hpp"

namespace qor::most {

inline constexpr uint8_t kTpCommand = 0x81;
inline constexpr uint8_t kTpControlBytes = 2;
inline constexpr size_t kTpHeadBytes = 4;

enum class TpSelector : uint8_t {
  GetChannel = 0,
  FreeChannel = 1,
  Reset = 2,
  Config = 3,
  BroadcastStart = 4,
  BroadcastData = 5,
  BroadcastStop = 6,
};

// The head, in a record of recordBytes (at least kTpHeadBytes).
kit::RecordWriter tpRecord(TpSelector selector, uint8_t channel, size_t recordBytes = kTpHeadBytes);

// Sends the record and waits for the answer, which is not examined.
uint32_t sendTpRecord(const kit::Call& call, const kit::RecordWriter& record);

}  // namespace qor::most
