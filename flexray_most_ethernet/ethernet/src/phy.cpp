// The PHY's parameters (command 0x24): read one, or set one after its value's check.
#include <vector>

#include "ethernet_library.hpp"
#include "qor_ethernet_phy.h"

namespace qor::ethernet {
namespace {

constexpr uint8_t kPhyCommand = 0x24;
constexpr uint32_t kPhyAnswerCapacity = 8;
constexpr size_t kPhyAnswerBytes = 8;
constexpr uint32_t kSetSubFunction = 0, kGetSubFunction = 1;

enum PhyParameter : uint32_t {
  kLinkState = 0,
  kTransceiverType = 1,
  kLinkQuality = 2,
  kOperationMode = 3,
  kTxAmplitude = 4,
  kDataRate = 5,
  kTemperature = 10,
  kLegacyMode = 11,
  kHwRevision = 12,
};

uint32_t getParameter(const kit::Call& call, PhyParameter parameter, const void* output, uint32_t* value) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (uint32_t code = checkPointer(call, output, "value")) return code;
  kit::RecordWriter record(8);
  record.u32(kGetSubFunction).u32(parameter);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kPhyCommand, 1, record, answer, kPhyAnswerCapacity)) return code;
  const kit::AnswerReader reader(answer);
  if (uint32_t code = checkAnswerLength(call, reader, kPhyAnswerBytes)) return code;
  *value = reader.u32(4);
  return 0;
}

template <class Value, class Translate>
uint32_t getTranslated(const kit::Call& call, PhyParameter parameter, Value* output, Translate translate) {
  uint32_t value = 0;
  if (uint32_t code = getParameter(call, parameter, output, &value)) return code;
  *output = static_cast<Value>(translate(value));
  return 0;
}

uint32_t getPlain(const kit::Call& call, PhyParameter parameter, uint32_t* output) {
  return getTranslated(call, parameter, output, [](uint32_t value) { return value; });
}

// refusal: the value's check; an empty text passes.
uint32_t setParameter(const kit::Call& call, PhyParameter parameter, uint32_t value, bool refused,
                      const char* refusal) {
  if (uint32_t code = checkEthernetInterface(call)) return code;
  if (refused) return call.fail(kEthernet.code(kInvalidParameter), "%s", refusal);
  kit::RecordWriter record(12);
  record.u32(kSetSubFunction).u32(parameter).u32(value);
  std::vector<uint8_t> answer;
  return call.exchange(kPhyCommand, 1, record, answer, kPhyAnswerCapacity);
}

uint32_t linkStateOfFirmware(uint32_t value) { return value == 0 ? 1 : value == 1 ? 2 : QOR_ETHERNET_PHY_LINK_STATE_UNKNOWN; }

uint32_t transceiverOfFirmware(uint32_t value) {
  return value >= 1 && value <= 4 ? value : QOR_ETHERNET_PHY_TRANSCEIVER_UNKNOWN;
}

uint32_t operationModeOfFirmware(uint32_t value) {
  return value <= QOR_ETHERNET_PHY_MAX_OPERATION_MODE ? value : QOR_ETHERNET_PHY_OPERATION_MODE_UNKNOWN;
}

uint32_t legacyModeOfFirmware(uint32_t value) {
  return value <= QOR_ETHERNET_PHY_MAX_LEGACY_MODE ? value : QOR_ETHERNET_PHY_LEGACY_MODE_UNKNOWN;
}

}  // namespace
}  // namespace qor::ethernet

using namespace qor::ethernet;
using qor::kit::Call;

uint32_t Qor_Ethernet_Phy_LinkState_Get(uint32_t port, uint8_t* linkState) try {
  return getTranslated(Call(kEthernet, port), kLinkState, linkState, linkStateOfFirmware);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_TransceiverType_Get(uint32_t port, uint8_t* transceiverType) try {
  return getTranslated(Call(kEthernet, port), kTransceiverType, transceiverType, transceiverOfFirmware);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_LinkQuality_Get(uint32_t port, uint32_t* linkQuality) try {
  return getPlain(Call(kEthernet, port), kLinkQuality, linkQuality);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_Master_Slave_Mode_Get(uint32_t port, uint8_t* mode) try {
  return getTranslated(Call(kEthernet, port), kOperationMode, mode, operationModeOfFirmware);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_Master_Slave_Mode_Set(uint32_t port, uint8_t mode) try {
  return setParameter(Call(kEthernet, port), kOperationMode, mode, mode > QOR_ETHERNET_PHY_MAX_OPERATION_MODE,
                      "'Operation mode' is unknown");
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_TxAmplitude_Get(uint32_t port, uint32_t* amplitude) try {
  return getPlain(Call(kEthernet, port), kTxAmplitude, amplitude);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_TxAmplitude_Set(uint32_t port, uint32_t amplitude) try {
  return setParameter(Call(kEthernet, port), kTxAmplitude, amplitude, amplitude == 0, "'tx amplitude' is Zero");
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_DataRate_Get(uint32_t port, uint32_t* dataRate) try {
  return getPlain(Call(kEthernet, port), kDataRate, dataRate);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_DataRate_Set(uint32_t port, uint32_t dataRate) try {
  return setParameter(Call(kEthernet, port), kDataRate, dataRate, dataRate == 0, "'Data Rate' is Zero");
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_Temperature_Get(uint32_t port, uint32_t* temperature) try {
  return getPlain(Call(kEthernet, port), kTemperature, temperature);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_LegacyMode_Get(uint32_t port, uint32_t* legacyMode) try {
  return getTranslated(Call(kEthernet, port), kLegacyMode, legacyMode, legacyModeOfFirmware);
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_LegacyMode_Set(uint32_t port, uint32_t legacyMode) try {
  return setParameter(Call(kEthernet, port), kLegacyMode, legacyMode, legacyMode > QOR_ETHERNET_PHY_MAX_LEGACY_MODE,
                      "'Legacy mode' is unknown");
} catch (...) {
  return kEthernet.failedCall(port);
}

uint32_t Qor_Ethernet_Phy_HwRevision_Get(uint32_t port, uint32_t* hwRevision) try {
  return getPlain(Call(kEthernet, port), kHwRevision, hwRevision);
} catch (...) {
  return kEthernet.failedCall(port);
}
