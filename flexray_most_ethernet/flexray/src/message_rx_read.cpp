// Reading a receive buffer (command 0x20, sub-function 14). The answer's payload length is believed only as far as
// the answer carries the words, so nothing past the received bytes is ever copied.
#include <cstring>
#include <vector>

#include "flexray_library.hpp"
#include "qor_flexray_messages.h"

namespace qor::flexray {
namespace {

constexpr uint32_t kRxRead = 14;

enum AnswerOffset : size_t {
  kIdentifier = 4,
  kSelector = 6,
  kChannel = 7,
  kPayloadLength = 8,
  kStatus = 12,
  kData = 16
};

constexpr uint8_t kStatusLowBits = 0x1F;
constexpr uint8_t kStatusBit7 = 0x80;
constexpr uint32_t kApiStatusBit5 = 0x20;

uint32_t apiStatus(uint8_t firmwareStatus) {
  return (firmwareStatus & kStatusLowBits) | ((firmwareStatus & kStatusBit7) != 0 ? kApiStatusBit5 : 0);
}

// The outputs that every failure after the port check clears, as far as the caller gave them.
struct Outputs {
  uint16_t* identifier;
  uint8_t* selector;
  uint8_t* channel;
  uint32_t* status;
  uint8_t* payloadLength;
  uint16_t* data;

  uint32_t clearedWith(uint32_t code) const {
    if (identifier != nullptr) *identifier = 0;
    if (selector != nullptr) *selector = 0;
    if (status != nullptr) *status = 0;
    if (payloadLength != nullptr) *payloadLength = 0;
    return code;
  }
};

uint32_t rxRead(const kit::Call& call, uint32_t handle, const Outputs& out) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if ((out.payloadLength == nullptr) != (out.data == nullptr)) {
    return call.fail(kit::GeneralError::InvalidParameter, "payload length and data have to be given together");
  }
  kit::RecordWriter record(12);
  record.u32(kRxRead).u32(handle).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) return out.clearedWith(code);
  const kit::AnswerReader reader(answer);
  const uint8_t words = reader.u8(kPayloadLength);
  const std::span<const uint8_t> payload = reader.bytes(kData, size_t{words} * 2);
  if (!reader.complete()) return out.clearedWith(call.shortAnswer(reader));

  if (out.identifier != nullptr) *out.identifier = reader.u16(kIdentifier);
  if (out.selector != nullptr) *out.selector = reader.u8(kSelector);
  if (out.channel != nullptr) {
    if (uint32_t code = checkFirmwareChannel(call, reader.u8(kChannel))) return code;
    *out.channel = reader.u8(kChannel);
  }
  if (out.status != nullptr) *out.status = apiStatus(reader.u8(kStatus));
  if (out.payloadLength == nullptr) return 0;
  const uint8_t capacity = *out.payloadLength;
  if (words > capacity) {
    return out.clearedWith(call.fail(kit::GeneralError::ResponseBufferUndersized,
                                     "returned payload length (%u two-byte-words) > user buffer (%u two-byte-words)",
                                     words, capacity));
  }
  *out.payloadLength = words;
  if (!payload.empty()) std::memcpy(out.data, payload.data(), payload.size());
  return 0;
}

}  // namespace
}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Message_Rx_Read(uint32_t port, uint32_t handle, uint16_t* identifier, uint8_t* selector,
                                     uint8_t* channel, uint32_t* status, uint8_t* payloadLength, uint16_t* data) try {
  return qor::flexray::rxRead(Call(kFlexRay, port), handle,
                              {identifier, selector, channel, status, payloadLength, data});
} catch (...) {
  return kFlexRay.failedCall(port);
}
