// The basic initialisation of CAN, LIN, FlexRay and MOST controllers: the values checked, packed and sent.
#include <vector>

#include "open/bus_setup.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"

namespace qor::client {

uint32_t recordRefusal(uint32_t port, const Refusal& refusal) {
  return Qor_ErrorHandler(port, refusal.code, "%s", refusal.text.c_str());
}

uint32_t exchangeSetupRecord(uint32_t port, uint8_t command, const void* record, uint32_t length, uint32_t answerRoom) {
  constexpr uint8_t kOneControlByte = 1;
  std::vector<uint8_t> answer(answerRoom);
  uint32_t size = answerRoom;
  return Qor_CommandWithResponseEx(port, 0, command, kOneControlByte, record, length, answer.data(), &size);
}

uint32_t setCanBaudRate(uint32_t port, uint32_t baudRate) {
  const Qor_Can_SetBaudRate_Param_t record = canBaudRateRecord(baudRate);
  return exchangeSetupRecord(port, QOR_CAN_COMMAND_BAUD_RATE, &record, sizeof record, QOR_CAN_BAUD_RATE_ANSWER_SIZE);
}

} // namespace qor::client

using namespace qor::client;

extern "C" {

uint32_t Qor_InterfaceConfig_Can_InitInterface(uint32_t port, uint8_t mode, uint32_t flags) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_Can_InitInterface_Param_t record{};
  if (Refusal refusal = packCanInit(mode, flags, record)) return recordRefusal(port, refusal);
  return Qor_Command(port, QOR_CAN_COMMAND_INIT_INTERFACE, &record, sizeof record);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lin_InitInterface(uint32_t port, uint32_t flags) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_Lin_InitInterface_Param_t record{};
  if (Refusal refusal = packLinInit(flags, record)) return recordRefusal(port, refusal);
  return Qor_Command(port, QOR_LIN_COMMAND_INIT_INTERFACE, &record, sizeof record);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lin_Node_Config2(uint32_t port, const Qor_Lin_NodeConfig_t* config) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (config == nullptr) return recordRefusal(port, {QOR_ERR_LIN_INVALID_PARAMETER, "no node configuration given"});
  Qor_Lin_NodeConfig_Param_t record{};
  if (Refusal refusal = packLinNode(*config, record)) return recordRefusal(port, refusal);
  return Qor_Command(port, QOR_LIN_COMMAND_NODE_CONFIG, &record, sizeof record);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_FlexRay_Init(uint32_t port, uint32_t flags, uint8_t controllerType,
                                          uint8_t transceiverType) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_FlexRay_Init_Param_t record{};
  if (Refusal refusal = packFlexRayInit(flags, controllerType, transceiverType, record)) {
    return recordRefusal(port, refusal);
  }
  return exchangeSetupRecord(port, QOR_FLEXRAY_COMMAND_CONTROLLER, &record, sizeof record,
                             QOR_FLEXRAY_INIT_ANSWER_SIZE);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Most_Node_SetProperties(uint32_t port, uint8_t clockMode, uint8_t deviceMode,
                                                     uint8_t networkMasterMode, uint8_t logicalNodeAddressMode,
                                                     uint16_t word1, uint16_t word2) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  Qor_Most_NodeProperties_Param_t record{};
  if (Refusal refusal = packMostNode(clockMode, deviceMode, networkMasterMode, logicalNodeAddressMode, word1, word2,
                                     record)) {
    return recordRefusal(port, refusal);
  }
  return exchangeSetupRecord(port, QOR_MOST_COMMAND_NODE, &record, sizeof record, QOR_MOST_NODE_ANSWER_SIZE);
} catch (...) {
  return failedCall(port);
}

} // extern "C"
