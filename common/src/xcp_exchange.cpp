// One XCP command: the packet is handed to the firmware (sub-function 2), then its answer is polled for
// (sub-function 3) part by part until the firmware reports neither "pending" nor "more data".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "common_library.hpp"
#include "qor_api.h"
#include "qor_common_xcp.h"
#include "qor_kit/poll.hpp"
#include "xcp_channel.hpp"

namespace qor::common::xcp {
namespace {

enum PollStatus : uint8_t { kPending = 1u << 0, kValid = 1u << 1, kSlaveSilent = 1u << 2 };

constexpr size_t kPollHeadBytes = 16;
constexpr uint32_t kPollIntervalMs = 1;
constexpr size_t kFirmwareTextBytes = 256;

struct Poll {
  uint8_t status = 0;
  uint32_t firmwareError = 0;
};

// The firmware applies the request's time-out; past it and twice the port's response time-out, a command the
// firmware still calls pending is given up.
uint32_t pollBoundMs(uint32_t port, uint32_t requestTimeoutUs) {
  const uint64_t bound = uint64_t{requestTimeoutUs} / 1000 + 2 * uint64_t{Qor_GetResponseTimeout(port)};
  return static_cast<uint32_t>(std::min<uint64_t>(bound, UINT32_MAX));
}

// One poll; its part of the packet is appended to the response. Empty while the firmware has more to tell.
std::optional<uint32_t> pollOnce(const kit::Call& call, uint8_t channel, Qor_Common_Xcp_Response_t& response,
                                 Poll& last) {
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, channelRequest(kPoll, channel, kChannelHeaderBytes), answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kPollHeadBytes)) return call.shortAnswer(reader);
  const uint16_t partBytes = reader.u16(12);
  const std::span<const uint8_t> part = reader.rest(kPollHeadBytes);
  if (part.size() < partBytes) {
    return call.fail(kit::GeneralError::InvalidResponseLength, "poll answer holds %zu of its %u data bytes",
                     part.size(), partBytes);
  }
  if (response.length + partBytes > QOR_COMMON_XCP_MAX_PACKET) {
    return call.fail(kit::GeneralError::ResponseBufferUndersized, "too many data bytes in response frame");
  }
  std::copy_n(part.begin(), partBytes, response.packet + response.length);
  response.length += partBytes;
  last = Poll{reader.u8(4), reader.u32(8)};
  if (reader.u16(14) != 0 || (last.status & kPending) != 0) return std::nullopt;
  return 0;
}

std::string firmwareErrorText(uint32_t port, uint32_t code) {
  char text[kFirmwareTextBytes] = {};
  uint32_t size = sizeof text;
  if (Qor_GetErrorDescription2(port, code, &size, text) != 0) {
    std::snprintf(text, sizeof text, "unknown error (0x%x)", code);
    return text;
  }
  return std::string(text, strnlen(text, std::min<size_t>(size, sizeof text)));
}

// The answer's meaning by the last poll's status.
uint32_t conclude(const kit::Call& call, const Poll& last, Qor_Common_Xcp_Response_t& response) {
  response.firmwareError = last.firmwareError;
  const bool valid = (last.status & kValid) != 0;
  const bool slaveSilent = (last.status & kSlaveSilent) != 0;
  if (!valid) {
    response.state = slaveSilent ? QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE : QOR_COMMON_XCP_NO_VALID_ANSWER;
    return call.fail(kCommon.code(kDaqNotInitialized), "no valid response from slave device");
  }
  if (slaveSilent) {
    response.state = QOR_COMMON_XCP_VALID_WITHOUT_ANSWER;
    return call.fail(kCommon.code(kXcpResponseTimeout), "no response from slave device");
  }
  response.state = QOR_COMMON_XCP_ANSWER_RECEIVED;
  if (last.firmwareError != 0) {
    return call.fail(last.firmwareError, "%s", firmwareErrorText(call.port(), last.firmwareError).c_str());
  }
  if (response.length >= 1 && response.packet[0] == kErrorPacket) {
    if (response.length < 2) {
      return call.fail(kCommon.code(kXcpError), "the slave returned an error packet without error code");
    }
    const uint8_t error = response.packet[1];
    return call.fail(kCommon.code(kXcpError), "the slave returned error code 0x%02x - %s", error,
                     Qor_Common_Xcp_GetErrorDescription(error));
  }
  return 0;
}

uint32_t commandWithResponse(const kit::Call& call, uint8_t channel, const Qor_Common_Xcp_Request_t* request,
                             Qor_Common_Xcp_Response_t* response) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkPointer(request, "request")) return code;
  if (uint32_t code = call.checkPointer(response, "response")) return code;
  if (uint32_t code = call.checkFlags(request->flags, 0)) return code;
  if (request->length > QOR_COMMON_XCP_MAX_PACKET) {
    return call.fail(kit::GeneralError::InvalidParameter, "maximum data length is %u", QOR_COMMON_XCP_MAX_PACKET);
  }
  kit::RecordWriter record = channelRequest(kSend, channel, 12 + QOR_COMMON_XCP_MAX_PACKET);
  record.u32(request->timeoutUs).u8(0).u8(request->kind).u16(request->length).bytes(request->packet, request->length);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;

  response->length = 0;
  Poll last;
  const uint32_t boundMs = pollBoundMs(call.port(), request->timeoutUs);
  const std::optional<uint32_t> polled =
      kit::pollUntil(boundMs, kPollIntervalMs, [&] { return pollOnce(call, channel, *response, last); });
  if (!polled) {
    response->state = QOR_COMMON_XCP_NO_ANSWER_FROM_SLAVE;
    response->firmwareError = last.firmwareError;
    return call.fail(kCommon.code(kXcpResponseTimeout), "the firmware still reports the command pending after %u ms",
                     boundMs);
  }
  if (*polled != 0) return *polled;
  return conclude(call, last, *response);
}

}  // namespace
}  // namespace qor::common::xcp

using qor::common::kCommon;

uint32_t Qor_Common_Xcp_CommandWithResponse(uint32_t port, uint8_t channel, const Qor_Common_Xcp_Request_t* request,
                                            Qor_Common_Xcp_Response_t* response) try {
  return qor::common::xcp::commandWithResponse(qor::kit::Call(kCommon, port), channel, request, response);
} catch (...) {
  return kCommon.failedCall(port);
}
