// The MII multiplexer (command 0x22): resetting, setting and reading the selections of sources for targets.
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_mii_mux.h"

namespace qor::ethernet {
namespace {

constexpr uint8_t kMiiMuxCommand = 0x22;
constexpr uint32_t kMiiMuxAnswerCapacity = 12;
constexpr size_t kSelectionAnswerBytes = 12;
constexpr uint8_t kAnsweredFlags = 0x03;

enum MiiMuxSubFunction : uint32_t { kResetOwn = 0, kSet = 1, kGet = 2, kResetAll = 3 };

uint32_t exchange(const kit::Call& call, const kit::RecordWriter& record, std::vector<uint8_t>& answer) {
  return call.exchange(kMiiMuxCommand, 1, record, answer, kMiiMuxAnswerCapacity);
}

uint32_t reset(const kit::Call& call, MiiMuxSubFunction subFunction) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  kit::RecordWriter record(4);
  record.u32(subFunction);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t setSelection(const kit::Call& call, const Qor_Ethernet_MiiMux_Selection_t* selection) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, selection, "selection")) return code;
  if (uint32_t code = checkFlags(call, selection->flags, QOR_ETHERNET_MII_MUX_SET_FLAGS)) return code;
  // The texts lack their opening quote; callers compare them, so they stay.
  if (selection->TargetType > QOR_ETHERNET_MII_MUX_MAX_TARGET_TYPE) {
    return call.fail(kEthernet.code(kInvalidParameter), "TargetType' is unknown");
  }
  if (selection->SourceType > QOR_ETHERNET_MII_MUX_MAX_SOURCE_TYPE) {
    return call.fail(kEthernet.code(kInvalidParameter), "SourceType' is unknown");
  }
  kit::RecordWriter record(12);
  record.u32(kSet).u8(static_cast<uint8_t>(selection->flags)).zeros(3);
  record.u8(selection->TargetType).u8(selection->targetValue).u8(selection->SourceType).u8(selection->sourceValue);
  std::vector<uint8_t> answer;
  return exchange(call, record, answer);
}

uint32_t getSelection(const kit::Call& call, const Qor_Ethernet_MiiMux_SelectionKey_t* key,
                      Qor_Ethernet_MiiMux_Selection_t* selection) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, key, "key")) return code;
  if (uint32_t code = checkPointer(call, selection, "selection")) return code;
  if (uint32_t code = checkFlags(call, key->flags, QOR_ETHERNET_MII_MUX_GET_FLAGS)) return code;
  if (uint32_t code = checkReserved(call, key->reserved)) return code;
  kit::RecordWriter record(12);
  record.u32(kGet).u32(key->flags).u8(key->TargetType).u8(key->targetValue).u16(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = exchange(call, record, answer)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kSelectionAnswerBytes)) return code;
  const uint8_t targetType = reader.u8(8), sourceType = reader.u8(10);
  selection->flags = reader.u8(4) & kAnsweredFlags;
  selection->TargetType =
      targetType <= QOR_ETHERNET_MII_MUX_MAX_TARGET_TYPE ? targetType : QOR_ETHERNET_MII_MUX_TARGET_TYPE_UNKNOWN;
  selection->targetValue = reader.u8(9);
  selection->SourceType =
      sourceType <= QOR_ETHERNET_MII_MUX_MAX_SOURCE_TYPE ? sourceType : QOR_ETHERNET_MII_MUX_SOURCE_TYPE_UNKNOWN;
  selection->sourceValue = reader.u8(11);
  return 0;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_MiiMux_ResetOwnSelections(uint32_t port) try {
  return reset(Call(kEthernet, port), kResetOwn);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_MiiMux_ResetAllSelections(uint32_t port) try {
  return reset(Call(kEthernet, port), kResetAll);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_MiiMux_Selection_Set(uint32_t port, const Qor_Ethernet_MiiMux_Selection_t* selection) try {
  return setSelection(Call(kEthernet, port), selection);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_MiiMux_Selection_Get(uint32_t port, const Qor_Ethernet_MiiMux_SelectionKey_t* key,
                                           Qor_Ethernet_MiiMux_Selection_t* selection) try {
  return getSelection(Call(kEthernet, port), key, selection);
} catch (...) {
  return kEthernet.failedCall(port);
}
