// The state of a port's host-side FPGA access.
#pragma once

#include <cstdint>
#include <vector>

// One FPGA exchange (message 0x40) at a time, under the command lock; what the response thread touches is guarded
// by the general section.
struct FpgaExchange {
  std::vector<uint8_t> request; // queue-message-size bytes from the port's first exchange on
  std::vector<uint8_t> reply;   // the awaited reply, copied here by the response thread
  uint32_t replyLength = 0;
  uint32_t subFunction = 0;     // of the awaited reply
  uint8_t registerNumber = 0;   // of an awaited register read
  bool awaiting = false;
  bool replied = false;
  uint32_t unanswered = 0;      // requests sent whose reply or error report has not come yet
};
