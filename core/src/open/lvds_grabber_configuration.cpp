// Setting the LVDS frame grabbers up: the second generation through its firmware (command 0x63), the first through
// the registers of its host-side FPGA.
#include "open/bus_setup.hpp"
#include "ports/port_table.hpp"
#include "qor_api.h"
#include "startup/exported_call.hpp"

using namespace qor::client;

namespace {

uint32_t writeRegister(uint32_t port, const RegisterWrite& registerWrite) {
  return Qor_Fpga_WriteRegister(port, registerWrite.reg, registerWrite.value);
}

} // namespace

extern "C" {

uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber2_SetMode(uint32_t port, uint8_t mode) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  const Qor_Lvds_FrameGrabber2_Mode_Param_t record = grabber2ModeRecord(Qor_Lvds_LvdsChannel_Get(port), mode);
  if (uint32_t result = exchangeSetupRecord(port, QOR_LVDS_COMMAND_GRABBER, &record, sizeof record,
                                            QOR_LVDS_GRABBER2_ANSWER_SIZE)) {
    return result;
  }
  // The grabber now pushes its frames: they are collected while it captures.
  return mode != 0 ? Qor_Lvds_InitResponseFilter(port) : Qor_Lvds_ResetResponseFilter(port);
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(uint32_t port,
                                                     const Qor_Lvds_FrameGrabber_Init_Parameters_t* grabber) try {
  if (!checkedPort(port)) return QOR_ERR_API_INVALID_PORT_HANDLE;
  if (grabber == nullptr) return recordRefusal(port, {QOR_ERR_LVDS_INVALID_PARAMETER, "no grabber parameters given"});
  if (Refusal refusal = checkGrabber1(*grabber)) return recordRefusal(port, refusal);
  for (const RegisterWrite& registerWrite : grabber1Registers(*grabber)) {
    if (uint32_t result = writeRegister(port, registerWrite)) return result;
  }
  return 0;
} catch (...) {
  return failedCall(port);
}

uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber1_Config_DeserializerVector(uint32_t port, uint8_t a, uint8_t b,
                                                                          uint8_t c, uint8_t d) try {
  return writeRegister(port, deserializerVector(a, b, c, d));
} catch (...) {
  return failedCall(port);
}

} // extern "C"
