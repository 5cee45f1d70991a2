#include <cstring>
#include <span>
#include <vector>

#include "can_library.hpp"
#include "node_configuration.hpp"
#include "qor_can_node.h"

namespace qor::can {
namespace {

constexpr size_t kOptionBytesSent = 10;  // the caller's last two are reserved
constexpr uint32_t kBaudRateFdGetFlags = 0;

// Answer: sub-function, u32 at 4 and 8, five bytes from 12.
uint32_t decodeBaudRate(const kit::Call& call, const std::vector<uint8_t>& answer, Qor_Can_Node_BaudrateInfo_t* info) {
  const kit::AnswerReader reader(answer);
  Qor_Can_Node_BaudrateInfo_t decoded{};
  if (!reader.has(12 + sizeof decoded.bytes)) return call.shortAnswer(reader);
  decoded.firstValue = reader.u32(4);
  decoded.secondValue = reader.u32(8);
  std::memcpy(decoded.bytes, reader.bytes(12, sizeof decoded.bytes).data(), sizeof decoded.bytes);
  *info = decoded;
  return 0;
}

// Answer: sub-function, the flags in bits 0-1 of byte 4, u32 at 8 and 12, five bytes from 16, u32 at 24.
uint32_t decodeBaudRateFd(const kit::Call& call, const std::vector<uint8_t>& answer,
                          Qor_Can_Node_BaudrateFdInfo_t* info) {
  const kit::AnswerReader reader(answer);
  Qor_Can_Node_BaudrateFdInfo_t decoded{};
  if (!reader.has(kNodeConfigurationAnswerSize)) return call.shortAnswer(reader);
  decoded.flags = reader.u8(4) & QOR_CAN_BAUDRATE_FD_FLAGS_VALID;
  decoded.firstValue = reader.u32(8);
  decoded.secondValue = reader.u32(12);
  std::memcpy(decoded.bytes, reader.bytes(16, sizeof decoded.bytes).data(), sizeof decoded.bytes);
  decoded.thirdValue = reader.u32(24);
  *info = decoded;
  return 0;
}

uint32_t setBaudRate(const kit::Call& call, uint32_t baudRate, const uint8_t* options,
                     Qor_Can_Node_BaudrateInfo_t* info) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  if (options != nullptr) {
    const std::span<const uint8_t> reserved(options + kOptionBytesSent,
                                            QOR_CAN_BAUDRATE_OPTION_BYTES - kOptionBytesSent);
    if (uint32_t code = call.checkReserved(reserved, "reserved bytes have to be zero")) return code;
  }
  kit::RecordWriter record(sizeof(Qor_Can_SetBaudRate_Param_t));
  record.u8(kSetBaudRate).zeros(3).u32(baudRate);
  if (options != nullptr) {
    record.bytes(options, kOptionBytesSent);
  } else {
    record.zeros(kOptionBytesSent);
  }
  record.zeros(2);
  std::vector<uint8_t> answer;
  if (uint32_t code = configureNode(call, record, answer)) return code;
  return decodeBaudRate(call, answer, info);
}

uint32_t readBaudRate(const kit::Call& call, Qor_Can_Node_BaudrateInfo_t* info) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  kit::RecordWriter record(4);
  record.u32(kGetBaudRate);
  std::vector<uint8_t> answer;
  if (uint32_t code = configureNode(call, record, answer)) return code;
  return decodeBaudRate(call, answer, info);
}

uint32_t setBaudRateFd(const kit::Call& call, const Qor_Can_Node_BaudrateFd_t* rates,
                       Qor_Can_Node_BaudrateFdInfo_t* info) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(rates, "rates")) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  if (uint32_t code = call.checkFlags(rates->flags, QOR_CAN_BAUDRATE_FD_FLAGS_VALID)) return code;
  if (uint32_t code = call.checkReserved(rates->reserved, "reserved bytes have to be 0")) return code;
  kit::RecordWriter record(kNodeConfigurationAnswerSize);
  record.u32(kSetBaudRateFd)
      .u8(static_cast<uint8_t>(rates->flags))
      .zeros(3)
      .u32(rates->firstValue)
      .bytes(rates->options, sizeof rates->options)
      .u16(0)
      .u32(rates->secondValue);
  std::vector<uint8_t> answer;
  if (uint32_t code = configureNode(call, record, answer)) return code;
  return decodeBaudRateFd(call, answer, info);
}

uint32_t readBaudRateFd(const kit::Call& call, uint32_t flags, Qor_Can_Node_BaudrateFdInfo_t* info) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkFlags(flags, kBaudRateFdGetFlags)) return code;
  if (uint32_t code = call.checkPointer(info, "info")) return code;
  kit::RecordWriter record(8);
  record.u32(kGetBaudRateFd).u32(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = configureNode(call, record, answer)) return code;
  return decodeBaudRateFd(call, answer, info);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_Node_Baudrate_Set(uint32_t port, uint32_t baudRate, const uint8_t* options,
                                   Qor_Can_Node_BaudrateInfo_t* info) try {
  return qor::can::setBaudRate(Call(kCan, port), baudRate, options, info);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_Baudrate_Get(uint32_t port, Qor_Can_Node_BaudrateInfo_t* info) try {
  return qor::can::readBaudRate(Call(kCan, port), info);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_BaudrateFd_Set(uint32_t port, const Qor_Can_Node_BaudrateFd_t* rates,
                                     Qor_Can_Node_BaudrateFdInfo_t* info) try {
  return qor::can::setBaudRateFd(Call(kCan, port), rates, info);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Node_BaudrateFd_Get(uint32_t port, uint32_t flags, Qor_Can_Node_BaudrateFdInfo_t* info) try {
  return qor::can::readBaudRateFd(Call(kCan, port), flags, info);
} catch (...) {
  return kCan.failedCall(port);
}
