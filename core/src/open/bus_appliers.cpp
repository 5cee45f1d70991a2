// The automatic configuration of each bus type: the settings of the port's "Interface" element, read and checked
// whole before anything is sent, then handed to the bus type's set-up functions.
#include <array>

#include "open/bus_setup.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "qor_shared/host_types.hpp"
#include "qor_xml.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {


template <size_t N>
uint32_t readSettings(uint32_t port, const char* path, const char* identifier, const std::array<const char*, N>& names,
                      std::array<uint32_t, N>& values) {
  const uint32_t result = Qor_Xml_InterfaceConfig_InterfaceData_Get(path, identifier, N, names.data(), values.data());
  return result == 0 ? 0 : Qor_ErrorHandler(port, result, "%s", Qor_Xml_GetLastErrorDescription());
}

} // namespace

extern "C" {

uint32_t Qor_InterfaceConfig_Can_Apply(uint32_t port, const char* path, const char* identifier) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  enum { kBlinking, kBaudRate, kIdMode, kAcknowledge };
  std::array<uint32_t, 4> values{};
  if (uint32_t result = readSettings<4>(port, path, identifier, {"EnableBlinking", "BaudRate", "IdMode", "Acknowledge"},
                                        values)) {
    return result;
  }
  uint32_t flags = QOR_CAN_INIT_FLAG_2;
  if (values[kAcknowledge] == 0) flags |= QOR_CAN_INIT_NO_ACKNOWLEDGE;
  if (values[kBlinking] != 0) flags |= QOR_CAN_INIT_BLINKING;
  Qor_Can_InitInterface_Param_t record{};
  if (Refusal refusal = packCanInit(values[kIdMode], flags, record)) return recordRefusal(port, refusal);
  const uint8_t mode = static_cast<uint8_t>(values[kIdMode]);
  if (uint32_t result = Qor_InterfaceConfig_Can_InitInterface(port, mode, flags)) return result;
  return setCanBaudRate(port, values[kBaudRate]);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lin_Apply(uint32_t port, const char* path, const char* identifier) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  enum { kBlinking, kBaudRate, kMaster, kBreak, kBreakDelimiter, kSlave, kDetection };
  std::array<uint32_t, 7> values{};
  if (uint32_t result = readSettings<7>(port, path, identifier,
                                        {"EnableBlinking", "BaudRate", "EnableMasterTask", "BreakTime",
                                         "BreakDelimiterTime", "EnableSlaveTask", "EnableBaudRateDetection"},
                                        values)) {
    return result;
  }
  const LinSettings settings{values[kBaudRate], values[kMaster], values[kBreak], values[kBreakDelimiter],
                             values[kSlave],    values[kDetection]};
  Qor_Lin_NodeConfig_t config{};
  if (Refusal refusal = linNodeConfig(settings, config)) return recordRefusal(port, refusal);
  Qor_Lin_NodeConfig_Param_t record{};
  if (Refusal refusal = packLinNode(config, record)) return recordRefusal(port, refusal);
  if (values[kBlinking] != 0) {
    if (uint32_t result = Qor_InterfaceConfig_Lin_InitInterface(port, QOR_LIN_INIT_BLINKING)) return result;
  }
  return Qor_InterfaceConfig_Lin_Node_Config2(port, &config);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_FlexRay_Apply(uint32_t port, const char* path, const char* identifier) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  enum { kSingleChannel, kController, kTransceiver };
  std::array<uint32_t, 3> values{};
  if (uint32_t result = readSettings<3>(port, path, identifier, {"SingleChannel", "ControllerType", "TransceiverType"},
                                        values)) {
    return result;
  }
  const uint32_t flags = values[kSingleChannel] != 0 ? QOR_FLEXRAY_INIT_SINGLE_CHANNEL : 0;
  Qor_FlexRay_Init_Param_t record{};
  if (Refusal refusal = packFlexRayInit(flags, values[kController], values[kTransceiver], record)) {
    return recordRefusal(port, refusal);
  }
  return Qor_InterfaceConfig_FlexRay_Init(port, flags, static_cast<uint8_t>(values[kController]),
                                          static_cast<uint8_t>(values[kTransceiver]));
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lvds_Apply(uint32_t port, const char* path, const char* identifier) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (Qor_GetHostInterfaceType(port) != qor::kFirstGenerationGrabber) {
    return recordRefusal(port,
                         {QOR_ERR_LVDS_WRONG_HOST_DEVICE_TYPE, "automatic interface configuration not available"});
  }
  std::array<const char*, kLvdsSettingCount> names{};
  for (size_t i = 0; i < kLvdsSettingCount; ++i) names[i] = lvdsSettingNames()[i].c_str();
  std::array<uint32_t, kLvdsSettingCount> values{};
  if (uint32_t result = readSettings(port, path, identifier, names, values)) return result;
  Grabber1Settings settings{};
  if (Refusal refusal = grabber1FromSettings(values, settings)) return recordRefusal(port, refusal);
  if (uint32_t result = Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(port, &settings.grabber)) return result;
  const auto& [a, b, c, d] = settings.deserializer;
  return Qor_InterfaceConfig_Lvds_FrameGrabber1_Config_DeserializerVector(port, a, b, c, d);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
