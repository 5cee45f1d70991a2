// Multiplexed bytes of a frame response: up to 16 values of 8 bytes taking turns under one mask (command 0x62), and
// their end with the data that stays (0x63).
#include <cstdint>

#include "lin_library.hpp"
#include "qor_lin_frames.h"

namespace qor::lin {
namespace {

using kit::GeneralError;

constexpr uint8_t kDefineCommand = 0x62;
constexpr uint8_t kStopCommand = 0x63;
constexpr size_t kFieldSize = 8;
constexpr size_t kHead = 4;

uint32_t defineMultiplex(const kit::Call& call, uint8_t frameId, uint8_t option, uint8_t count, const uint8_t* mask,
                         const uint8_t* values) {
  if (count > QOR_LIN_MULTIPLEX_MAX_INDICES) {
    return call.fail(GeneralError::InvalidParameter, "maximum number of indices: %u", QOR_LIN_MULTIPLEX_MAX_INDICES);
  }
  if (uint32_t code = call.checkPointer(mask, "mask")) return code;
  if (count != 0) {
    if (uint32_t code = call.checkPointer(values, "values")) return code;
  }
  kit::RecordWriter record(kHead + kFieldSize * (1 + QOR_LIN_MULTIPLEX_MAX_INDICES));
  record.u8(frameId).u8(0).u8(option).u8(count).bytes(mask, kFieldSize).bytes(values, kFieldSize * count);
  return call.send(kDefineCommand, record);
}

uint32_t stopMultiplex(const kit::Call& call, uint8_t frameId, const uint8_t* mask, const uint8_t* data) {
  if (uint32_t code = call.checkPointer(mask, "mask")) return code;
  if (uint32_t code = call.checkPointer(data, "data")) return code;
  kit::RecordWriter record(kHead + 2 * kFieldSize);
  record.u8(frameId).zeros(3).bytes(mask, kFieldSize).bytes(data, kFieldSize);
  return call.send(kStopCommand, record);
}

}  // namespace
}  // namespace qor::lin

using qor::lin::kLin;

uint32_t Qor_Lin_FrameResponses_MultiplexBytes_Define(uint32_t port, uint8_t frameId, uint8_t option, uint8_t count,
                                                      const uint8_t mask[8], const uint8_t* values) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::defineMultiplex(call, frameId, option, count, mask, values);
} catch (...) {
  return kLin.failedCall(port);
}

uint32_t Qor_Lin_FrameResponses_MultiplexBytes_Stop(uint32_t port, uint8_t frameId, const uint8_t mask[8],
                                                    const uint8_t data[8]) try {
  const qor::kit::Call call(kLin, port);
  if (uint32_t code = qor::lin::checkLinInterface(call)) return code;
  return qor::lin::stopMultiplex(call, frameId, mask, data);
} catch (...) {
  return kLin.failedCall(port);
}
