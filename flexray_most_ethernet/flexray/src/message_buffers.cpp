// Message buffers on command 0x20: set-up (3), transmit definition (9), receive definition (10), deletion (11),
// transmit update (12), transmission (13), handle lookup (15) and the change of transmit data (26).
#include "message_buffers.hpp"

#include <vector>

#include "qor_flexray_messages.h"

namespace qor::flexray {
namespace {

enum SubFunction : uint32_t {
  kBuffersConfig = 3,
  kTxDefine = 9,
  kRxDefine = 10,
  kDelete = 11,
  kTxUpdate = 12,
  kTransmit = 13,
  kGetHandle = 15,
  kTxChangeData = 26,
};

constexpr size_t kPayloadRecordHead = 16;
constexpr size_t kChangeDataHead = 12;
constexpr size_t kWordBytes = 2;
constexpr size_t kHandleOffset = 4;

size_t payloadBytes(uint8_t words) { return size_t{words} * kWordBytes; }

uint32_t buffersConfig(const kit::Call& call) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(kBuffersConfig);
  return exchangeController(call, record);
}

uint32_t txDefine(const kit::Call& call, const Qor_FlexRay_TxMessage_t* message, uint32_t* handle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(message, "message")) return code;
  if (uint32_t code = call.checkPointer(handle, "handle")) return code;
  const Qor_FlexRay_TxMessage_t definition = *message;
  if (uint32_t code = checkChannel(call, definition.channel)) return code;
  *handle = 0;
  if (uint32_t code = checkPayload(call, definition.payloadLength, definition.data)) return code;
  if (uint32_t code = call.checkFlags(definition.flags, QOR_FLEXRAY_TX_DEFINE_FLAGS)) return code;
  kit::RecordWriter record(kPayloadRecordHead + payloadBytes(definition.payloadLength));
  record.u32(kTxDefine).u16(definition.identifier).u8(definition.selector1).u8(definition.selector2);
  record.u8(definition.channel).u8(definition.payloadLength).u16(definition.attributes);
  record.u8(static_cast<uint8_t>(definition.flags))
      .zeros(3)
      .bytes(definition.data, payloadBytes(definition.payloadLength));
  return defineForHandle(call, record, handle);
}

uint32_t txUpdate(const kit::Call& call, uint32_t handle, uint8_t words, uint16_t attributes, uint32_t flags,
                  const uint16_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkPayload(call, words, data)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_FLEXRAY_TX_DEFINE_FLAGS)) return code;
  kit::RecordWriter record(kPayloadRecordHead + payloadBytes(words));
  record.u32(kTxUpdate).u32(handle).u8(words).u8(0).u16(attributes).u8(static_cast<uint8_t>(flags)).zeros(3);
  record.bytes(data, payloadBytes(words));
  return exchangeController(call, record);
}

uint32_t txChangeData(const kit::Call& call, uint32_t handle, uint16_t attributes, uint8_t words, const uint16_t* first,
                      const uint16_t* second) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkPayload(call, words, first, "first")) return code;
  if (uint32_t code = checkPayload(call, words, second, "second")) return code;
  kit::RecordWriter record(kChangeDataHead + 2 * payloadBytes(words));
  record.u32(kTxChangeData).u32(handle).u8(words).u8(0).u16(attributes);
  record.bytes(first, payloadBytes(words)).bytes(second, payloadBytes(words));
  return exchangeController(call, record);
}

uint32_t transmit(const kit::Call& call, uint32_t handle, uint8_t words, uint32_t flags, const uint16_t* data) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = checkPayload(call, words, data)) return code;
  if (uint32_t code = call.checkFlags(flags, QOR_FLEXRAY_TRANSMIT_FLAGS)) return code;
  kit::RecordWriter record(kPayloadRecordHead + payloadBytes(words));
  record.u32(kTransmit).u32(handle).u8(words).zeros(3).u8(static_cast<uint8_t>(flags)).zeros(3);
  record.bytes(data, payloadBytes(words));
  return exchangeController(call, record);
}

// Receive definition and handle lookup: the same key record.
uint32_t keyed(const kit::Call& call, uint32_t subFunction, uint16_t identifier, uint8_t selector1, uint8_t selector2,
               uint8_t channel, uint32_t* handle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  if (uint32_t code = call.checkPointer(handle, "handle")) return code;
  if (uint32_t code = checkChannel(call, channel)) return code;
  kit::RecordWriter record(12);
  record.u32(subFunction).u16(identifier).u8(selector1).u8(selector2).u8(channel).zeros(3);
  return defineForHandle(call, record, handle);
}

uint32_t deleteBuffer(const kit::Call& call, uint32_t handle) {
  if (uint32_t code = checkFlexRayInterface(call)) return code;
  kit::RecordWriter record(8);
  record.u32(kDelete).u32(handle);
  return exchangeController(call, record);
}

}  // namespace

uint32_t checkPayload(const kit::Call& call, uint8_t words, const uint16_t* data, const char* name) {
  if (words > QOR_FLEXRAY_MAX_PAYLOAD_WORDS) {
    return call.fail(kit::GeneralError::InvalidParameter,
                     "PayloadLength (%u two-byte-words) > max payload length (%u two-byte-words)", words,
                     QOR_FLEXRAY_MAX_PAYLOAD_WORDS);
  }
  return words != 0 ? call.checkPointer(data, name) : 0;
}

uint32_t defineForHandle(const kit::Call& call, const kit::RecordWriter& record, uint32_t* handle) {
  *handle = 0;
  std::vector<uint8_t> answer;
  if (uint32_t code = exchangeController(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (!reader.has(kHandleOffset + 4)) return call.shortAnswer(reader);
  *handle = reader.u32(kHandleOffset);
  return 0;
}

}  // namespace qor::flexray

using qor::flexray::kFlexRay;
using qor::kit::Call;

uint32_t Qor_FlexRay_Buffers_Config(uint32_t port) try {
  return qor::flexray::buffersConfig(Call(kFlexRay, port));
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Tx_Define(uint32_t port, const Qor_FlexRay_TxMessage_t* message, uint32_t* handle) try {
  return qor::flexray::txDefine(Call(kFlexRay, port), message, handle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Tx_Update(uint32_t port, uint32_t handle, uint8_t payloadLength, uint16_t attributes,
                                       uint32_t flags, const uint16_t* data) try {
  return qor::flexray::txUpdate(Call(kFlexRay, port), handle, payloadLength, attributes, flags, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Tx_ChangeData(uint32_t port, uint32_t handle, uint16_t attributes, uint8_t payloadLength,
                                           const uint16_t* first, const uint16_t* second) try {
  return qor::flexray::txChangeData(Call(kFlexRay, port), handle, attributes, payloadLength, first, second);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Transmit(uint32_t port, uint32_t handle, uint8_t payloadLength, uint32_t flags,
                                      const uint16_t* data) try {
  return qor::flexray::transmit(Call(kFlexRay, port), handle, payloadLength, flags, data);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Rx_Define(uint32_t port, uint16_t identifier, uint8_t selector1, uint8_t selector2,
                                       uint8_t channel, uint32_t* handle) try {
  return qor::flexray::keyed(Call(kFlexRay, port), qor::flexray::kRxDefine, identifier, selector1, selector2, channel,
                             handle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_GetHandle(uint32_t port, uint16_t identifier, uint8_t selector1, uint8_t selector2,
                                       uint8_t channel, uint32_t* handle) try {
  return qor::flexray::keyed(Call(kFlexRay, port), qor::flexray::kGetHandle, identifier, selector1, selector2, channel,
                             handle);
} catch (...) {
  return kFlexRay.failedCall(port);
}

uint32_t Qor_FlexRay_Message_Delete(uint32_t port, uint32_t handle) try {
  return qor::flexray::deleteBuffer(Call(kFlexRay, port), handle);
} catch (...) {
  return kFlexRay.failedCall(port);
}
