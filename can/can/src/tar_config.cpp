// The condition of a TAR unit (command 0xC0): off, simple, or standard with data and mask of a classic or an FD frame.
#include "can_library.hpp"
#include "qor_can_tar.h"

namespace qor::can {
namespace {

constexpr uint8_t kConfigureCommand = 0xC0;
constexpr uint8_t kOffKind = 0;
constexpr uint8_t kSimpleKind = 1;
constexpr uint8_t kStandardKind = 2;
constexpr uint8_t kLongDataMarker = 3;  // byte 14 of a standard record whose data are longer than 8 bytes
constexpr size_t kShortDataBytes = 8;
constexpr size_t kLongestRecord = 18 + 2 * 64;

// Data and mask of up to 8 bytes each lie in fixed fields of 8 bytes; longer ones follow their lengths.
void writeDataAndMask(kit::RecordWriter& record, size_t length, const uint8_t* data, const uint8_t* mask) {
  if (length <= kShortDataBytes) {
    record.u16(0);
    record.bytes(data, length).zeros(kShortDataBytes - length);
    record.bytes(mask, length).zeros(kShortDataBytes - length);
    return;
  }
  record.u8(kLongDataMarker).u8(0);
  record.u8(static_cast<uint8_t>(length)).bytes(data, length);
  record.u8(static_cast<uint8_t>(length)).bytes(mask, length);
}

uint32_t configureOff(const kit::Call& call, uint8_t index) {
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u8(index).u8(kOffKind).u16(0);
  return call.send(kConfigureCommand, record);
}

uint32_t configureSimple(const kit::Call& call, uint8_t index, uint32_t firstValue, uint32_t secondValue) {
  if (uint32_t code = checkCanInterface(call)) return code;
  kit::RecordWriter record(12);
  record.u8(index).u8(kSimpleKind).u16(0).u32(firstValue).u32(secondValue);
  return call.send(kConfigureCommand, record);
}

// Only the data bytes of the DLC are read from the caller's arrays.
uint32_t configureStandard(const kit::Call& call, uint8_t index, uint32_t firstValue, uint32_t secondValue, uint8_t dlc,
                           uint8_t option, const uint8_t* data, const uint8_t* mask) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  const size_t length = dataBytesOfDlc(dlc);
  if (length != 0) {
    if (uint32_t code = call.checkPointer(data, "data")) return code;
    if (uint32_t code = call.checkPointer(mask, "mask")) return code;
  }
  kit::RecordWriter record(kLongestRecord);
  record.u8(index).u8(kStandardKind).u16(0).u32(firstValue).u32(secondValue).u8(dlc).u8(option);
  writeDataAndMask(record, length, data, mask);
  return call.send(kConfigureCommand, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;

uint32_t Qor_Can_Tar_Config_Off(uint32_t port, uint8_t index) try {
  return qor::can::configureOff(qor::kit::Call(kCan, port), index);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_Config_Simple(uint32_t port, uint8_t index, uint32_t firstValue, uint32_t secondValue) try {
  return qor::can::configureSimple(qor::kit::Call(kCan, port), index, firstValue, secondValue);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_Tar_Config_Standard(uint32_t port, uint8_t index, uint32_t firstValue, uint32_t secondValue,
                                     uint8_t dlc, uint8_t option, const uint8_t* data, const uint8_t* mask) try {
  return qor::can::configureStandard(qor::kit::Call(kCan, port), index, firstValue, secondValue, dlc, option, data,
                                     mask);
} catch (...) {
  return kCan.failedCall(port);
}
