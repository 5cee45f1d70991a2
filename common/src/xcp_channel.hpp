// The firmware's XCP channels behind command 0xC9: every request and answer begins with {sub-function, channel,
// u16 0}; the sub-function and the channel are the two control bytes that key the answer.
#pragma once

#include <cstdint>
#include <vector>

#include "qor_kit/call.hpp"
#include "qor_kit/record_writer.hpp"
#include "qor_shared/xcp_protocol.hpp"

namespace qor::common::xcp {

using namespace qor::xcp_protocol;

// Channels 0 to 254 have records of their own; 255 would be nobody's.
inline constexpr uint8_t kChannels = 255;

// A request of `capacity` bytes with its header written.
kit::RecordWriter channelRequest(ChannelSubFunction subFunction, uint8_t channel, size_t capacity);

// The request sent synchronously; answer gets the firmware's answer, header included.
uint32_t exchange(const kit::Call& call, const kit::RecordWriter& request, std::vector<uint8_t>& answer);

}  // namespace qor::common::xcp
