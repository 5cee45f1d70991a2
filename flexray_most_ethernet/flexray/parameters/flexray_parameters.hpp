// The protocol parameters of Qor_FlexRay_ConfigData_t by name, as parameter files name them: the parameter-file
// import and the FIBEX reader look a name up here and store its value into the record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qor_flexray_config.h"

namespace qor::flexray {

struct ConfigParameter {
  std::string_view name;
  size_t offset;
  size_t width;
};

#define QOR_FLEXRAY_PARAMETER(field) \
  ConfigParameter { #field, offsetof(Qor_FlexRay_ConfigData_t, field), sizeof(Qor_FlexRay_ConfigData_t::field) }

// In the record's order.
inline constexpr std::array<ConfigParameter, 53> kConfigParameters = {
    QOR_FLEXRAY_PARAMETER(gColdStartAttempts),
    QOR_FLEXRAY_PARAMETER(gListenNoise),
    QOR_FLEXRAY_PARAMETER(gMacroPerCycle),
    QOR_FLEXRAY_PARAMETER(gNumberOfMinislots),
    QOR_FLEXRAY_PARAMETER(gNumberOfStaticSlots),
    QOR_FLEXRAY_PARAMETER(gOffsetCorrectionStart),
    QOR_FLEXRAY_PARAMETER(gMaxWithoutClockCorrectionFatal),
    QOR_FLEXRAY_PARAMETER(gMaxWithoutClockCorrectionPassive),
    QOR_FLEXRAY_PARAMETER(gNetworkManagementVectorLength),
    QOR_FLEXRAY_PARAMETER(gPayloadLengthStatic),
    QOR_FLEXRAY_PARAMETER(gSyncNodeMax),
    QOR_FLEXRAY_PARAMETER(gdActionPointOffset),
    QOR_FLEXRAY_PARAMETER(gdBit),
    QOR_FLEXRAY_PARAMETER(gdCasRxLowMax),
    QOR_FLEXRAY_PARAMETER(gdDynamicSlotIdlePhase),
    QOR_FLEXRAY_PARAMETER(gdMinislotActionPointOffset),
    QOR_FLEXRAY_PARAMETER(gdMinislot),
    QOR_FLEXRAY_PARAMETER(gdStaticSlot),
    QOR_FLEXRAY_PARAMETER(gdSymbolWindow),
    QOR_FLEXRAY_PARAMETER(gdTSSTransmitter),
    QOR_FLEXRAY_PARAMETER(gdWakeUpSymbolRxIdle),
    QOR_FLEXRAY_PARAMETER(gdWakeUpSymbolRxLow),
    QOR_FLEXRAY_PARAMETER(gdWakeUpSymbolTxIdle),
    QOR_FLEXRAY_PARAMETER(gdWakeUpSymbolTxLow),
    QOR_FLEXRAY_PARAMETER(gdWakeUpSymbolRxWindow),
    QOR_FLEXRAY_PARAMETER(pAllowHaltDueToClock),
    QOR_FLEXRAY_PARAMETER(pAllowPassiveToActive),
    QOR_FLEXRAY_PARAMETER(pClusterDriftDamping),
    QOR_FLEXRAY_PARAMETER(pDecodingCorrection),
    QOR_FLEXRAY_PARAMETER(pDelayCompensationA),
    QOR_FLEXRAY_PARAMETER(pDelayCompensationB),
    QOR_FLEXRAY_PARAMETER(pExternOffsetCorrection),
    QOR_FLEXRAY_PARAMETER(pExternRateCorrection),
    QOR_FLEXRAY_PARAMETER(pKeySlotId),
    QOR_FLEXRAY_PARAMETER(pKeySlotUsedForStartup),
    QOR_FLEXRAY_PARAMETER(pKeySlotUsedForSync),
    QOR_FLEXRAY_PARAMETER(pLatestTx),
    QOR_FLEXRAY_PARAMETER(pChannels),
    QOR_FLEXRAY_PARAMETER(pSingleSlotEnabled),
    QOR_FLEXRAY_PARAMETER(pMicroPerCycle),
    QOR_FLEXRAY_PARAMETER(pMicroPerMacroNom),
    QOR_FLEXRAY_PARAMETER(pPayloadLengthDynMax),
    QOR_FLEXRAY_PARAMETER(pMacroInitialOffsetA),
    QOR_FLEXRAY_PARAMETER(pMacroInitialOffsetB),
    QOR_FLEXRAY_PARAMETER(pMicroInitialOffsetA),
    QOR_FLEXRAY_PARAMETER(pMicroInitialOffsetB),
    QOR_FLEXRAY_PARAMETER(pOffsetCorrectionOut),
    QOR_FLEXRAY_PARAMETER(pRateCorrectionOut),
    QOR_FLEXRAY_PARAMETER(pWakeUpChannel),
    QOR_FLEXRAY_PARAMETER(pWakeUpPattern),
    QOR_FLEXRAY_PARAMETER(pdAcceptedStartupRange),
    QOR_FLEXRAY_PARAMETER(pdMaxDrift),
    QOR_FLEXRAY_PARAMETER(pdListenTimeout),
};

#undef QOR_FLEXRAY_PARAMETER

// The parameter of exactly this name (same letters, same case), or null.
constexpr const ConfigParameter* findConfigParameter(std::string_view name) {
  for (const ConfigParameter& parameter : kConfigParameters) {
    if (parameter.name == name) return &parameter;
  }
  return nullptr;
}

// Stores value into the parameter's field, cut to the field's width (little endian, as the record is).
inline void storeConfigParameter(Qor_FlexRay_ConfigData_t& data, const ConfigParameter& parameter, uint64_t value) {
  auto* field = reinterpret_cast<uint8_t*>(&data) + parameter.offset;
  for (size_t i = 0; i < parameter.width; ++i) field[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace qor::flexray
