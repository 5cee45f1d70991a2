#include <vector>

#include "common_library.hpp"
#include "controller_requests.hpp"
#include "qor_api.h"
#include "qor_common_controller.h"
#include "qor_kit/call.hpp"

namespace qor::common {
namespace {

constexpr uint8_t kInitInterfaceCommand = 0x12;
constexpr uint8_t kResetCommand = 0x10;
constexpr uint8_t kStartFirmwareCommand = 0x03;
constexpr uint8_t kFpgaResetRegister = 2;
constexpr size_t kBootLoaderState = 4;  // of the controller answer; bit 0

uint32_t initInterface(const kit::Call& call) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkLock(QOR_LOCK_INTERFACE)) return code;
  if (uint32_t code = call.send(kInitInterfaceCommand, kit::RecordWriter(0))) return code;
  return Qor_CloseMonitor(call.port());
}

// The controller resets, its monitor goes, and the firmware starts again unless the boot loader has taken over.
uint32_t resetFirmware(const kit::Call& call) {
  if (uint32_t code = call.send(kResetCommand, kit::RecordWriter(0))) return code;
  if (uint32_t code = Qor_CloseMonitor(call.port())) return code;
  kit::RecordWriter query(1);
  query.u8(0);
  std::vector<uint8_t> answer;
  if (uint32_t code = call.exchange(kControllerQueryCommand, 0, query, answer)) return code;
  const kit::AnswerReader reader(answer);
  const uint8_t state = reader.u8(kBootLoaderState);
  if (!reader.complete()) return call.shortAnswer(reader);
  if (state & 1u) return call.fail(kCommon.code(kInitializationFailed), "controller is in bootloader");
  return call.send(kStartFirmwareCommand, kit::RecordWriter(0));
}

uint32_t softwareReset(const kit::Call& call) {
  if (uint32_t code = call.checkPort()) return code;
  if (uint32_t code = call.checkLock(QOR_LOCK_CONTROLLER)) return code;
  uint32_t host = 0;
  if (uint32_t code = Qor_GetPropertyById(call.port(), QOR_PROPERTY_INTERFACE_HOST, &host)) return code;
  switch (host) {
    case QOR_INTERFACE_HOST_FIRMWARE:
      return resetFirmware(call);
    case QOR_INTERFACE_HOST_FPGA:
      return Qor_Fpga_WriteRegister(call.port(), kFpgaResetRegister, 1);
    case QOR_INTERFACE_HOST_NONE:
      return call.fail(kCommon.code(kFunctionNotAvailable));
    default:
      return call.fail(kCommon.code(kUnknownDeviceType));
  }
}

}  // namespace
}  // namespace qor::common

using qor::common::kCommon;

uint32_t Qor_Common_InitInterface(uint32_t port) try {
  return qor::common::initInterface(qor::kit::Call(kCommon, port));
} catch (...) {
  return kCommon.failedCall(port);
}

uint32_t Qor_Common_SoftwareReset(uint32_t port) try {
  return qor::common::softwareReset(qor::kit::Call(kCommon, port));
} catch (...) {
  return kCommon.failedCall(port);
}
