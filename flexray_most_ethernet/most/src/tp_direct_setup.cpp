// Direct transport channels set up and fed: reset (selector 0), initialisation (1), the start and stop of the
// connection with their data (2 and 4), and requests sent in segments (3). Every check comes before the first record.
#include <algorithm>
#include <span>
#include <vector>

#include "qor_most_tp_direct.h"
#include "tp_direct.hpp"

namespace qor::most::tp_direct {
namespace {

constexpr uint32_t kStartHead = 8, kSegmentHead = 12;
constexpr uint8_t kLastSegment = 0x1, kNotFirstSegment = 0x2;

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& request) {
  std::vector<uint8_t> answer;
  return call.exchange(kCommand, kControlBytes, request, answer);
}

uint32_t reset(const kit::Call& call, uint8_t channel) {
  if (uint32_t code = checkMostInterface(call)) return code;
  return exchange(call, record(kReset, channel));
}

uint32_t init(const kit::Call& call, uint8_t channel, bool normal) {
  if (uint32_t code = checkMostInterface(call)) return code;
  kit::RecordWriter request = record(kInit, channel, 12);
  request.zeros(4).u8(normal ? 1 : 0).zeros(3);
  return exchange(call, request);
}

uint32_t checkMode(const kit::Call& call, uint8_t mode) {
  if (mode > QOR_MOST_TP_DIRECT_MODE_MAX) return call.fail(kit::GeneralError::UnknownMode, "%u", mode);
  return 0;
}

uint32_t checkData(const kit::Call& call, const uint8_t* data, uint32_t length) {
  if (length > QOR_MOST_TP_DIRECT_MAX_DATA) return call.fail(kit::GeneralError::InvalidDataLength, "%u", length);
  if (length != 0) return call.checkPointer(data, "data");
  return 0;
}

// Start (selector 2) or stop (4): the data go in one record.
uint32_t initiate(const kit::Call& call, Selector selector, uint8_t channel, uint8_t mode, const uint8_t* data,
                  uint32_t length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  uint32_t parameterLength = 0;
  if (uint32_t code = call.parameterLength(&parameterLength)) return code;
  if (uint64_t{kStartHead} + length > parameterLength) {
    return call.fail(kit::GeneralError::InvalidDataLength, "%u", length);
  }
  if (uint32_t code = checkData(call, data, length)) return code;
  if (uint32_t code = checkMode(call, mode)) return code;
  kit::RecordWriter request = record(selector, channel, kStartHead + length);
  request.u8(mode).u8(0).u16(length).bytes(std::span(data, length));
  return exchange(call, request);
}

uint32_t queueRequest(const kit::Call& call, uint8_t channel, uint8_t mode, const uint8_t* data, uint32_t length) {
  if (uint32_t code = checkMostInterface(call)) return code;
  uint32_t piece = 0;
  if (uint32_t code = call.pieceLength(kSegmentHead, &piece)) return code;
  if (uint32_t code = checkMode(call, mode)) return code;
  if (uint32_t code = checkData(call, data, length)) return code;
  const std::span<const uint8_t> request(data, length);
  uint8_t flags = 0;
  size_t sent = 0;
  do {
    const size_t chunk = std::min<size_t>(piece, request.size() - sent);
    if (sent + chunk == request.size()) flags |= kLastSegment;
    kit::RecordWriter segment = record(kSegment, channel, kSegmentHead + static_cast<uint32_t>(chunk));
    segment.u8(flags).zeros(3).u8(mode).u8(0).u16(chunk).bytes(request.subspan(sent, chunk));
    if (uint32_t code = exchange(call, segment)) return code;
    sent += chunk;
    flags |= kNotFirstSegment;
  } while (sent < request.size());
  return 0;
}

}  // namespace
}  // namespace qor::most::tp_direct

using qor::kit::Call;
using qor::most::kMost;
namespace tp = qor::most::tp_direct;

uint32_t Qor_Most_TpDirect_Reset(uint32_t port, uint8_t channel) try {
  return tp::reset(Call(kMost, port), channel);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_Init_Normal(uint32_t port, uint8_t channel) try {
  return tp::init(Call(kMost, port), channel, true);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_Init_Off(uint32_t port, uint8_t channel) try {
  return tp::init(Call(kMost, port), channel, false);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_InitiateStart(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                         uint32_t length) try {
  return tp::initiate(Call(kMost, port), tp::kStart, channel, mode, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_InitiateStop(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                        uint32_t length) try {
  return tp::initiate(Call(kMost, port), tp::kStop, channel, mode, data, length);
} catch (...) {
  return kMost.failedCall(port);
}

uint32_t Qor_Most_TpDirect_QueueRequest(uint32_t port, uint8_t channel, uint8_t mode, const uint8_t* data,
                                        uint32_t length) try {
  return tp::queueRequest(Call(kMost, port), channel, mode, data, length);
} catch (...) {
  return kMost.failedCall(port);
}
