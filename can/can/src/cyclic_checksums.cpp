// Parity bits and checksums that the firmware computes into a signal of a cyclic message.
#include <vector>

#include "can_library.hpp"
#include "cyclic_arguments.hpp"
#include "cyclic_commands.hpp"
#include "qor_can_cyclic.h"

namespace qor::can {
namespace {

using kit::Call;
using kit::GeneralError;
using kit::RecordWriter;

constexpr char kReservedText[] = "reserved bytes have to be zero";
constexpr size_t kClassicMaskBytes = 8;
constexpr size_t kFdMaskBytes = 64;
constexpr uint8_t kMaskCovered = 0xFF;

constexpr size_t kParityRecordBytes = 16;
constexpr uint8_t kParityDefine = 1;
constexpr uint8_t kParityDelete = 0;

// The checksum record: a head of 12 bytes, then the type's tail.
constexpr size_t kChecksumHeadBytes = 12;
constexpr uint16_t kChecksumDefine = 1;
constexpr uint8_t kChecksumModeTypes[] = {1, 2, 8};
constexpr uint8_t kXorWithUserBytes = 0x10;
constexpr uint8_t kGeneralCrc = 0x11;
constexpr uint8_t kCustom12 = 0x12;
constexpr uint8_t kAddBytes = 0x18;
constexpr size_t kXorHeadBytes = 16;
constexpr size_t kXorRoomTakenBeforeUserBytes = 20;  // the firmware takes at most the parameter length less 20
constexpr size_t kCrcHeadBytes = 32;
constexpr size_t kCustom12HeadBytes = 32;
constexpr size_t kAddBytesRecordBytes = 20;
constexpr uint16_t kLastDataArrayStartBit = 63;
constexpr size_t kIndexListHeadBytes = 12;
constexpr uint32_t kIndexListFunction = 1;

uint32_t parity(const Call& call, uint32_t identifier, uint8_t function, uint8_t mode,
                const Qor_Common_Signal_t& signal, uint64_t value) {
  if (signal.size > 1) return call.fail(GeneralError::InvalidParameter, "signal size > 1");
  FirmwareSignal split;
  if (uint32_t code = splitSignal(call, signal, &split)) return code;
  RecordWriter record(kParityRecordBytes);
  record.u32(identifier).u8(function).u8(mode).u8(split.byteIndex).u8(split.bitIndex).u64(value);
  return call.send(kDefineParity, record);
}

uint32_t defineParity(const Call& call, uint32_t identifier, uint8_t mode, const Qor_Common_Signal_t& signal,
                      uint64_t value) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > 1) return call.fail(GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  return parity(call, identifier, kParityDefine, mode, signal, value);
}

uint32_t deleteParity(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return parity(call, identifier, kParityDelete, 0, signal, 0);
}

// The data bytes a checksum covers: a caller's mask (or none) and the checksum signal.
struct Coverage {
  uint32_t identifier;
  Qor_Common_Signal_t signal;
  const uint8_t* mask;   // 8 bytes, 64 for an FD message; NULL: none
  uint8_t maskBits = 0;  // bit i: byte i of the first eight
};

// The signal, then the mask's first eight bytes, each 0x00 or 0xFF; the bytes of an FD mask beyond them go to the
// index list as they are.
uint32_t checkCoverage(const Call& call, Coverage& coverage) {
  if (uint32_t code = checkSignal(call, coverage.signal)) return code;
  if (coverage.mask == nullptr) return 0;
  for (size_t index = 0; index < kClassicMaskBytes; ++index) {
    const uint8_t byte = coverage.mask[index];
    if (byte != 0 && byte != kMaskCovered) {
      return call.fail(GeneralError::InvalidParameter, "mask bytes have to be '0x00' or '0xFF'");
    }
    if (byte == kMaskCovered) coverage.maskBits |= static_cast<uint8_t>(1u << index);
  }
  return 0;
}

RecordWriter checksumRecord(size_t capacity, const Coverage& coverage, uint8_t type) {
  RecordWriter record(capacity);
  const Qor_Common_Signal_t& signal = coverage.signal;
  record.u32(coverage.identifier).u8(type).u8(coverage.maskBits).u16(kChecksumDefine);
  record.u8(signal.size).u8(static_cast<uint8_t>(signal.startBit)).u8(signal.byteOrder);
  record.u8(static_cast<uint8_t>(signal.startBit >> 8));
  return record;
}

// {u32 1, u32 identifier, u16 start bit, u8 count, u8 0, the indices of the covered bytes}.
uint32_t sendIndexList(const Call& call, const Coverage& coverage) {
  RecordWriter record(kIndexListHeadBytes + kFdMaskBytes);
  uint8_t count = 0;
  for (size_t index = 0; index < kFdMaskBytes; ++index) count += coverage.mask[index] == kMaskCovered ? 1 : 0;
  record.u32(kIndexListFunction).u32(coverage.identifier).u16(coverage.signal.startBit).u8(count).u8(0);
  for (size_t index = 0; index < kFdMaskBytes; ++index) {
    if (coverage.mask[index] == kMaskCovered) record.u8(static_cast<uint8_t>(index));
  }
  std::vector<uint8_t> answer;
  return call.exchange(kChecksumByteIndices, kFirstByteKeys, record, answer);
}

// The definition, then for a masked FD message the index list; the firmware keeps the definition when the list fails.
uint32_t sendChecksum(const Call& call, const Coverage& coverage, const RecordWriter& record) {
  if (uint32_t code = call.send(kDefineChecksum, record)) return code;
  if (coverage.mask == nullptr || !isFdMessage(coverage.identifier)) return 0;
  return sendIndexList(call, coverage);
}

// What every variant checks first: the interface, the signal and the mask.
uint32_t startChecksum(const Call& call, Coverage& coverage) {
  if (uint32_t code = checkCanInterface(call)) return code;
  return checkCoverage(call, coverage);
}

uint32_t defineChecksum(const Call& call, uint8_t mode, Coverage coverage) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (mode > QOR_CAN_CYCLIC_CHECKSUM_MODE_MAX) {
    return call.fail(GeneralError::UnknownMode, "mode '0x%02x' is unknown", mode);
  }
  if (uint32_t code = checkCoverage(call, coverage)) return code;
  return sendChecksum(call, coverage, checksumRecord(kChecksumHeadBytes, coverage, kChecksumModeTypes[mode]));
}

uint32_t defineXorWithUserBytes(const Call& call, Coverage coverage, uint8_t count, const uint8_t* userBytes) {
  if (uint32_t code = startChecksum(call, coverage)) return code;
  if (uint32_t code = checkBytes(call, userBytes, count, "userBytes")) return code;
  uint32_t room = 0;
  if (uint32_t code = call.pieceLength(kXorRoomTakenBeforeUserBytes, &room)) return code;
  if (count > room) return call.fail(GeneralError::InvalidParameter, "ma number of user bytes = '%u'", room);
  RecordWriter record = checksumRecord(kXorHeadBytes + count, coverage, kXorWithUserBytes);
  record.u8(count).zeros(3).bytes(userBytes, count);
  return sendChecksum(call, coverage, record);
}

uint32_t defineGeneralCrc(const Call& call, Coverage coverage, const Qor_Can_CyclicMsgs_GeneralCrc_t* crc) {
  if (uint32_t code = startChecksum(call, coverage)) return code;
  if (uint32_t code = call.checkPointer(crc, "crc")) return code;
  if (uint32_t code = call.checkReserved(crc->reserved, kReservedText)) return code;
  if (uint32_t code = checkBytes(call, crc->firstUserBytes, crc->firstCount, "firstUserBytes")) return code;
  if (uint32_t code = checkBytes(call, crc->secondUserBytes, crc->secondCount, "secondUserBytes")) return code;
  RecordWriter record =
      checksumRecord(kCrcHeadBytes + size_t{crc->firstCount} + crc->secondCount, coverage, kGeneralCrc);
  record.u8(crc->value).zeros(3);
  for (uint32_t word : crc->words) record.u32(word);
  record.u8(crc->firstCount).u8(crc->secondCount).u16(0);
  record.bytes(crc->firstUserBytes, crc->firstCount).bytes(crc->secondUserBytes, crc->secondCount);
  return sendChecksum(call, coverage, record);
}

uint32_t defineCustom12(const Call& call, Coverage coverage, const Qor_Can_CyclicMsgs_Custom12_t* custom) {
  if (uint32_t code = startChecksum(call, coverage)) return code;
  if (uint32_t code = call.checkPointer(custom, "custom")) return code;
  if (uint32_t code = call.checkReserved(custom->reserved, kReservedText)) return code;
  const Qor_Common_Signal_t& dataArray = custom->dataArray;
  if (uint32_t code = checkSignal(call, dataArray)) return code;
  if (dataArray.startBit > kLastDataArrayStartBit) {
    return call.fail(GeneralError::InvalidParameter, "data array index signal offset must not be greater than 63");
  }
  uint32_t room = 0;
  if (uint32_t code = call.pieceLength(kCustom12HeadBytes, &room)) return code;
  if (custom->dataArrayLength > room) {
    return call.fail(GeneralError::InvalidParameter, "data array signal size > %u", room);
  }
  if (uint32_t code = checkBytes(call, custom->dataArrayBytes, custom->dataArrayLength, "dataArrayBytes")) {
    return code;
  }
  RecordWriter record = checksumRecord(kCustom12HeadBytes + custom->dataArrayLength, coverage, kCustom12);
  record.u8(custom->value).u8(custom->dataArrayLength).u16(0);
  for (uint32_t word : custom->words) record.u32(word);
  record.u8(dataArray.size).u8(static_cast<uint8_t>(dataArray.startBit)).u8(dataArray.byteOrder).u8(0);
  record.bytes(custom->dataArrayBytes, custom->dataArrayLength);
  return sendChecksum(call, coverage, record);
}

uint32_t defineAddBytes(const Call& call, Coverage coverage, const Qor_Can_CyclicMsgs_AddBytes_t* addBytes) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(addBytes, "addBytes")) return code;
  if (uint32_t code = call.checkReserved(addBytes->reserved, kReservedText)) return code;
  if (uint32_t code = checkCoverage(call, coverage)) return code;
  const Qor_Common_Signal_t& second = addBytes->secondSignal;
  if (second.size != 0) {
    if (uint32_t code = checkSignal(call, second)) return code;
  }
  RecordWriter record = checksumRecord(kAddBytesRecordBytes, coverage, kAddBytes);
  record.u8(second.size).u8(static_cast<uint8_t>(second.startBit)).u8(second.byteOrder);
  record.u8(static_cast<uint8_t>(second.startBit >> 8));
  record.bytes(addBytes->options, sizeof addBytes->options).u8(0);
  return sendChecksum(call, coverage, record);
}

uint32_t deleteChecksum(const Call& call, uint32_t identifier, const Qor_Common_Signal_t& signal) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkSignal(call, signal)) return code;
  RecordWriter record(8);
  record.u32(identifier).u32(0);
  return call.send(kDefineChecksum, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::Coverage;
using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_CyclicMsgs_Parity_Define(uint32_t port, uint32_t identifier, uint8_t mode, Qor_Common_Signal_t signal,
                                          uint64_t value) try {
  return qor::can::defineParity(Call(kCan, port), identifier, mode, signal, value);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Parity_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal) try {
  return qor::can::deleteParity(Call(kCan, port), identifier, signal);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Define(uint32_t port, uint8_t mode, uint32_t identifier,
                                            Qor_Common_Signal_t signal, const uint8_t* mask) try {
  return qor::can::defineChecksum(Call(kCan, port), mode, Coverage{identifier, signal, mask});
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Define_XorWithUserBytes(uint32_t port, uint32_t identifier,
                                                             Qor_Common_Signal_t signal, const uint8_t* mask,
                                                             uint8_t count, const uint8_t* userBytes) try {
  return qor::can::defineXorWithUserBytes(Call(kCan, port), Coverage{identifier, signal, mask}, count, userBytes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Define_GeneralCrcWithUserBytes(uint32_t port, uint32_t identifier,
                                                                    Qor_Common_Signal_t signal, const uint8_t* mask,
                                                                    const Qor_Can_CyclicMsgs_GeneralCrc_t* crc) try {
  return qor::can::defineGeneralCrc(Call(kCan, port), Coverage{identifier, signal, mask}, crc);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Define_Custom12(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal,
                                                     const uint8_t* mask,
                                                     const Qor_Can_CyclicMsgs_Custom12_t* custom) try {
  return qor::can::defineCustom12(Call(kCan, port), Coverage{identifier, signal, mask}, custom);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Define_AddBytes(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal,
                                                     const uint8_t* mask,
                                                     const Qor_Can_CyclicMsgs_AddBytes_t* addBytes) try {
  return qor::can::defineAddBytes(Call(kCan, port), Coverage{identifier, signal, mask}, addBytes);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_Checksum_Delete(uint32_t port, uint32_t identifier, Qor_Common_Signal_t signal) try {
  return qor::can::deleteChecksum(Call(kCan, port), identifier, signal);
} catch (...) {
  return kCan.failedCall(port);
}
