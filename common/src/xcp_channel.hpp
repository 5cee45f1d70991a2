// The firmware's XCP channels behind command 0xC9: every request and answer begins with {sub-function, channel,
// u16 0}; the sub-function and the channel are the two control bytes that key the answer.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"

namespace qor::common::xcp {

inline constexpr uint8_t kCommand = 0xC9;
inline constexpr size_t kHeaderBytes = 4;

enum SubFunction : uint8_t {
  kReset = 0,
  kInitialise = 1,
  kSend = 2,
  kPoll = 3,
  kState = 4,
  kReadProperty = 5,
  kWriteProperty = 6,
  kReadDtoReceive = 7,
  kReadCtoReceive = 8,
  kWriteDtoTransmit = 9,
  kWriteCtoTransmit = 10,
};

// A request of `capacity` bytes with its header written.
kit::RecordWriter channelRequest(SubFunction subFunction, uint8_t channel, size_t capacity);

// The request sent synchronously; answer gets the firmware's answer, header included.
uint32_t exchange(const kit::Call& call, const kit::RecordWriter& request, std::vector<uint8_t>& answer);

}  // namespace qor::common::xcp
