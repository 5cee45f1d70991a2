// Changing what a cyclic message sends: the sectioned change record (also starting and stopping), its data with
// message counts, disturbances and multiplexed bytes.
#include <algorithm>
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
using Change = Qor_Can_CyclicMsgs_Change_t;

constexpr uint32_t kChangeFlagsDefined = 0x7F;
constexpr size_t kClassicBytes = 8;
constexpr size_t kFdBytes = 64;
// The change record: a head of 12 bytes, the data section to 40, the cycle section to 52, then the further data.
constexpr size_t kDataSectionBytes = 28;
constexpr size_t kSectionedChangeBytes = 52;
constexpr size_t kLongestChange = 56 + 2 * QOR_CAN_CYCLIC_FURTHER_DATA_MAX;
constexpr uint16_t kDataFlagMessageCount = 0x01;
constexpr uint16_t kDataFlagSecondValue = 0x04;
// Change data and message count: a head of 28 bytes, then the second array's bytes beyond the first eight.
constexpr size_t kDataAndCountHeadBytes = 28;
constexpr uint8_t kModeWithCount = 2;
constexpr size_t kDisturbanceHeadBytes = 8;
constexpr size_t kFdMultiplexEntryBytes = 64;

bool has(const Change& change, uint32_t section) { return (change.changeFlags & section) != 0; }

uint32_t checkChange(const Call& call, const Change& change) {
  if ((change.changeFlags & ~kChangeFlagsDefined) != 0) return call.fail(GeneralError::UnknownFlag);
  if (has(change, QOR_CAN_CYCLIC_CHANGE_SEND_STATE) && change.sendState > 1) {
    return call.fail(kCan.code(kInvalidSendState), "%u", change.sendState);
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_GROUP) && change.group > 1) {
    return call.fail(kCan.code(kInvalidGroupNumber), "%u", change.group);
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_DLC)) {
    if (uint32_t code = checkDlc(call, change.dlc)) return code;
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_DATA) && (change.dataFlags & ~QOR_CAN_CYCLIC_DATA_FLAGS_DEFINED) != 0) {
    return call.fail(GeneralError::UnknownFlag, "DataFlags: %u", change.dataFlags);
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_CYCLE)) {
    if ((change.cycleFlags & ~QOR_CAN_CYCLIC_CYCLE_FLAGS_DEFINED) != 0) {
      return call.fail(GeneralError::UnknownFlag, "cycle time flags: %u", change.cycleFlags);
    }
    if (uint32_t code = call.checkReserved(change.cycleReserved, "cycle time reserved bytes have to be zero")) {
      return code;
    }
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_FURTHER_DATA)) {
    if (uint32_t code = call.checkReserved(change.furtherReserved,
                                           "reserved bytes in extended mask and data section have to be zero")) {
      return code;
    }
    // More would read past the record's arrays.
    if (change.furtherDataCount > QOR_CAN_CYCLIC_FURTHER_DATA_MAX) {
      return call.fail(GeneralError::InvalidParameter, "number of further data bytes %u > %u",
                       change.furtherDataCount, QOR_CAN_CYCLIC_FURTHER_DATA_MAX);
    }
  }
  return 0;
}

RecordWriter changeRecord(const Change& change) {
  RecordWriter record(kLongestChange);
  const auto sectionValue = [&](uint32_t section, uint8_t value) { return has(change, section) ? value : uint8_t{0}; };
  record.u8(static_cast<uint8_t>(change.changeFlags)).zeros(3).u32(change.identifier);
  record.u8(sectionValue(QOR_CAN_CYCLIC_CHANGE_SEND_STATE, change.sendState))
      .u8(sectionValue(QOR_CAN_CYCLIC_CHANGE_GROUP, change.group))
      .u8(sectionValue(QOR_CAN_CYCLIC_CHANGE_OPTION, change.optionByte))
      .u8(sectionValue(QOR_CAN_CYCLIC_CHANGE_DLC, change.dlc));
  if (!has(change, QOR_CAN_CYCLIC_CHANGE_DATA | QOR_CAN_CYCLIC_CHANGE_CYCLE | QOR_CAN_CYCLIC_CHANGE_FURTHER_DATA)) {
    return record;
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_DATA)) {
    const uint32_t flags = change.dataFlags;
    record.u32(flags).bytes(change.data, sizeof change.data).bytes(change.dataMask, sizeof change.dataMask);
    record.u16((flags & kDataFlagMessageCount) != 0 ? change.messageCount : 0)
        .u16((flags & kDataFlagSecondValue) != 0 ? change.secondDataValue : 0)
        .zeros(4);
  } else {
    record.zeros(kDataSectionBytes);
  }
  if (has(change, QOR_CAN_CYCLIC_CHANGE_CYCLE)) {
    record.u32(change.cycleFlags);
    for (uint16_t value : change.cycleValues) record.u16(value);
    record.u16(0);
  }
  if (!has(change, QOR_CAN_CYCLIC_CHANGE_FURTHER_DATA)) {
    record.zeros(kSectionedChangeBytes - record.size());
    return record;
  }
  // The further data take the cycle section's place when it is absent.
  const uint8_t count = change.furtherDataCount;
  record.u8(count).zeros(3).bytes(change.furtherData, count).bytes(change.furtherDataMask, count);
  return record;
}

// After the interface check.
uint32_t sendChange(const Call& call, const Change& change) {
  if (change.changeFlags == 0) return 0;
  if (uint32_t code = checkChange(call, change)) return code;
  return call.send(kChangeMessage, changeRecord(change));
}

uint32_t changeMessage(const Call& call, const Change* change) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(change, "change")) return code;
  return sendChange(call, *change);
}

uint32_t switchMessage(const Call& call, uint32_t identifier, uint8_t sendState) {
  if (uint32_t code = checkCanInterface(call)) return code;
  Change change{};
  change.identifier = identifier;
  change.changeFlags = QOR_CAN_CYCLIC_CHANGE_SEND_STATE;
  change.sendState = sendState;
  return sendChange(call, change);
}

uint32_t checkDataMode(const Call& call, uint8_t mode) {
  return mode > kModeWithCount ? call.fail(GeneralError::UnknownMode, "%u", mode) : 0;
}

uint32_t changeMessageData(const Call& call, uint32_t identifier, const uint8_t* data, uint8_t dlc,
                           const uint8_t* mask, uint8_t mode, uint16_t messageCount) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  if (uint32_t code = checkDataMode(call, mode)) return code;
  const size_t length = dataBytesOfDlc(dlc);
  if (uint32_t code = checkBytes(call, data, length, "data")) return code;
  if (uint32_t code = checkBytes(call, mask, length, "mask")) return code;
  Change change{};
  change.identifier = identifier;
  change.changeFlags = QOR_CAN_CYCLIC_CHANGE_DLC | QOR_CAN_CYCLIC_CHANGE_DATA;
  change.dlc = dlc;
  if (mode != 0) change.dataFlags = kDataFlagMessageCount;
  if (mode == kModeWithCount) change.messageCount = messageCount;
  const size_t first = std::min(length, kClassicBytes);
  std::copy_n(data, first, change.data);
  std::copy_n(mask, first, change.dataMask);
  if (length > kClassicBytes) {
    const size_t further = length - kClassicBytes;
    change.changeFlags |= QOR_CAN_CYCLIC_CHANGE_FURTHER_DATA;
    change.furtherDataCount = static_cast<uint8_t>(further);
    std::copy_n(data + kClassicBytes, further, change.furtherData);
    std::copy_n(mask + kClassicBytes, further, change.furtherDataMask);
  }
  return sendChange(call, change);
}

uint32_t changeDataAndCount(const Call& call, uint32_t identifier, uint8_t option, const uint8_t* firstArray,
                            uint8_t dlc, const uint8_t* secondArray, uint8_t mode, uint16_t messageCount) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  if (uint32_t code = checkDataMode(call, mode)) return code;
  const size_t length = dataBytesOfDlc(dlc);
  if (uint32_t code = checkBytes(call, firstArray, length, "firstArray")) return code;
  if (uint32_t code = checkBytes(call, secondArray, length, "secondArray")) return code;
  RecordWriter record(kDataAndCountHeadBytes + kFdBytes - kClassicBytes);
  record.u32(identifier).u8(mode).u8(option).u8(dlc).u8(0);
  putPadded(record, firstArray, length, kClassicBytes);
  putPadded(record, secondArray, length, kClassicBytes);
  record.u16(mode == kModeWithCount ? messageCount : 0).u16(0);
  if (length > kClassicBytes) record.bytes(secondArray + kClassicBytes, length - kClassicBytes);
  return call.send(kChangeDataAndCount, record);
}

uint32_t defineDisturbance(const Call& call, uint32_t identifier, uint8_t dlc, uint16_t value,
                           const uint8_t* firstArray, const uint8_t* secondArray) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = checkDlc(call, dlc)) return code;
  if (uint32_t code = call.checkPointer(firstArray, "firstArray")) return code;
  if (uint32_t code = call.checkPointer(secondArray, "secondArray")) return code;
  const size_t length = dataBytesOfDlc(dlc);
  RecordWriter record(kDisturbanceHeadBytes + 2 * kFdBytes);
  record.u32(identifier).u8(dlc).u8(0).u16(value);
  record.bytes(firstArray, kClassicBytes).bytes(secondArray, kClassicBytes);
  if (length > kClassicBytes) {
    record.bytes(firstArray + kClassicBytes, length - kClassicBytes)
        .bytes(secondArray + kClassicBytes, length - kClassicBytes);
  }
  return call.send(kDefineDisturbance, record);
}

uint32_t defineMultiplexBytes(const Call& call, uint32_t identifier, uint8_t position, uint8_t count,
                              const uint8_t* mask, const uint8_t (*entries)[64]) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (count > QOR_CAN_CYCLIC_MULTIPLEX_MAX_INDICES) {
    return call.fail(GeneralError::InvalidParameter, "maximum number of indices: %u",
                     QOR_CAN_CYCLIC_MULTIPLEX_MAX_INDICES);
  }
  const bool fd = isFdMessage(identifier);
  const size_t entryBytes = fd ? kFdMultiplexEntryBytes : kClassicBytes;
  if (uint32_t code = call.checkPointer(mask, "mask")) return code;
  if (uint32_t code = checkBytes(call, entries, count, "entries")) return code;
  if (!fd) {
    RecordWriter record(16 + kClassicBytes * QOR_CAN_CYCLIC_MULTIPLEX_MAX_INDICES);
    record.u32(identifier).u8(position).u8(count).u16(0).bytes(mask, kClassicBytes);
    for (uint8_t index = 0; index < count; ++index) record.bytes(entries[index], entryBytes);
    return call.send(kDefineMultiplexBytes, record);
  }
  RecordWriter record(80 + kFdMultiplexEntryBytes * QOR_CAN_CYCLIC_MULTIPLEX_MAX_INDICES);
  record.u32(kFdMultiplexBytes).u32(0).u32(identifier).u8(position).u8(count).u16(kFdMultiplexEntryBytes);
  record.bytes(mask, kFdBytes);
  for (uint8_t index = 0; index < count; ++index) record.bytes(entries[index], entryBytes);
  std::vector<uint8_t> answer;
  return call.exchange(kFdExtension, kFirstByteKeys, record, answer);
}

uint32_t stopMultiplexBytes(const Call& call, uint32_t identifier, const uint8_t* first, const uint8_t* second) {
  if (uint32_t code = checkCanInterface(call)) return code;
  if (uint32_t code = call.checkPointer(first, "first")) return code;
  if (uint32_t code = call.checkPointer(second, "second")) return code;
  RecordWriter record(4 + 2 * kClassicBytes);
  record.u32(identifier).bytes(first, kClassicBytes).bytes(second, kClassicBytes);
  return call.send(kStopMultiplexBytes, record);
}

}  // namespace
}  // namespace qor::can

using qor::can::kCan;
using qor::kit::Call;

uint32_t Qor_Can_CyclicMsgs_StartMsg(uint32_t port, uint32_t identifier) try {
  return qor::can::switchMessage(Call(kCan, port), identifier, 1);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_StopMsg(uint32_t port, uint32_t identifier) try {
  return qor::can::switchMessage(Call(kCan, port), identifier, 0);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_ChangeMsg(uint32_t port, const Qor_Can_CyclicMsgs_Change_t* change) try {
  return qor::can::changeMessage(Call(kCan, port), change);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_ChangeMsgData(uint32_t port, uint32_t identifier, const uint8_t* data, uint8_t dlc,
                                          const uint8_t* mask, uint8_t mode, uint16_t messageCount) try {
  return qor::can::changeMessageData(Call(kCan, port), identifier, data, dlc, mask, mode, messageCount);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_ChangeMsgDataAndMsgCount(uint32_t port, uint32_t identifier, uint8_t option,
                                                     const uint8_t* firstArray, uint8_t dlc,
                                                     const uint8_t* secondArray, uint8_t mode,
                                                     uint16_t messageCount) try {
  return qor::can::changeDataAndCount(Call(kCan, port), identifier, option, firstArray, dlc, secondArray, mode,
                                      messageCount);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_DefineDisturbance(uint32_t port, uint32_t identifier, uint8_t dlc, uint16_t value,
                                              const uint8_t firstArray[64], const uint8_t secondArray[64]) try {
  return qor::can::defineDisturbance(Call(kCan, port), identifier, dlc, value, firstArray, secondArray);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_MultiplexBytes_Define(uint32_t port, uint32_t identifier, uint8_t position, uint8_t count,
                                                  const uint8_t* mask, const uint8_t (*entries)[64]) try {
  return qor::can::defineMultiplexBytes(Call(kCan, port), identifier, position, count, mask, entries);
} catch (...) {
  return kCan.failedCall(port);
}

uint32_t Qor_Can_CyclicMsgs_MultiplexBytes_Stop(uint32_t port, uint32_t identifier, const uint8_t first[8],
                                                const uint8_t second[8]) try {
  return qor::can::stopMultiplexBytes(Call(kCan, port), identifier, first, second);
} catch (...) {
  return kCan.failedCall(port);
}
