// libhxusb: the devices of the emulator named in the settings file, or, without one, no device.
#include <algorithm>
#include <cstring>

#include "emulator_link.hpp"
#include "no_device.hpp"

using namespace qor::usb;
using link::Operation;

namespace {

std::span<const uint8_t> bytesOf(const void* data, uint32_t length) {
  return {static_cast<const uint8_t*>(data), length};
}

uint32_t listDevices(const std::string& socket, void* buffer, uint32_t size) {
  if (buffer == nullptr) return QOR_USB_INVALID_PARAMETER;
  if (size < sizeof(QorUSB_DriverInfo_Header_t)) return QOR_USB_MEMORY_UNDERSIZED;
  return fillDeviceList(callEmulator(socket, {Operation::DriverInfo}), buffer, size, QOR_HXUSB_VERSION);
}

uint32_t writeFrame(uint32_t type, uint32_t index, const void* data, uint32_t length) {
  if (data == nullptr) return QOR_USB_INVALID_PARAMETER;
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  return callEmulator(*socket, {Operation::WriteFifo, type, index, 0, 0, bytesOf(data, length)}).code;
}

// One frame, or the monitor bytes that fit, into the room *size gives.
uint32_t readInto(Operation operation, uint32_t type, uint32_t index, void* buffer, uint32_t* size,
                  uint32_t milliseconds) {
  if (buffer == nullptr || size == nullptr) return QOR_USB_INVALID_PARAMETER;
  const uint32_t room = *size;
  *size = 0;
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  const LinkAnswer answer = callEmulator(*socket, {operation, type, index, room, milliseconds});
  if (answer.code != 0) return answer.code;
  if (answer.data.size() > room) return QOR_USB_MEMORY_UNDERSIZED;
  // An empty answer (no frame waiting) has no bytes to copy, and no valid source address either.
  std::copy(answer.data.begin(), answer.data.end(), static_cast<uint8_t*>(buffer));
  *size = static_cast<uint32_t>(answer.data.size());
  return 0;
}

uint32_t readFrame(uint32_t type, uint32_t index, void* buffer, uint32_t* size, uint32_t milliseconds) {
  return readInto(Operation::ReadFifo, type, index, buffer, size, milliseconds);
}

// An emulated device answers what the emulator does not play as a driver that lacks the request.
template <class... Pointers>
uint32_t notEmulated(Pointers... required) {
  const uint32_t code = noDevice(required...);
  return code == QOR_USB_NO_DEVICE && emulatorSocket() ? QOR_USB_UNKNOWN_IOCTRL : code;
}

} // namespace

extern "C" {

uint32_t QorUSB_Platform_Initialize(void) { return 0; }

uint32_t QorUSB_Platform_DLL_Info(uint32_t* version) {
  if (version == nullptr) return QOR_USB_INVALID_PARAMETER;
  *version = QOR_HXUSB_VERSION;
  return 0;
}

uint32_t QorUSB_Platform_Driver_Info(void* buffer, uint32_t size) {
  const auto socket = emulatorSocket();
  return socket ? listDevices(*socket, buffer, size) : emptyDeviceList(buffer, size, QOR_HXUSB_VERSION);
}

uint32_t QorUSB_Platform_Write_FIFO(uint32_t type, uint32_t index, const void* data, uint32_t length) {
  return writeFrame(type, index, data, length);
}

uint32_t QorUSB_Platform_94xx_WriteData(uint32_t type, uint32_t index, const void* data, uint32_t length) {
  return writeFrame(type, index, data, length);
}

uint32_t QorUSB_Platform_Read_FIFO_Timeout(uint32_t type, uint32_t index, void* buffer, uint32_t* size,
                                           uint32_t milliseconds) {
  return readFrame(type, index, buffer, size, milliseconds);
}

uint32_t QorUSB_Platform_94xx_ReadData(uint32_t type, uint32_t index, void* buffer, uint32_t* size,
                                       uint32_t milliseconds) {
  return readFrame(type, index, buffer, size, milliseconds);
}

uint32_t QorUSB_Platform_Read_FIFO(uint32_t type, uint32_t index, void* buffer, uint32_t* size) {
  return readFrame(type, index, buffer, size, 0);
}

uint32_t QorUSB_Platform_Xilinx_Read(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value) {
  if (value == nullptr) return QOR_USB_INVALID_PARAMETER;
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  const LinkAnswer answer = callEmulator(*socket, {Operation::XilinxRead, type, index, reg});
  if (answer.code == 0) *value = answer.value;
  return answer.code;
}

uint32_t QorUSB_Platform_Xilinx_Write(uint32_t type, uint32_t index, uint8_t reg, uint32_t value) {
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  return callEmulator(*socket, {Operation::XilinxWrite, type, index, reg, 0, bytesOf(&value, sizeof value)}).code;
}

uint32_t QorUSB_Platform_Xilinx_Version(uint32_t type, uint32_t index, uint32_t* version) {
  if (version == nullptr) return QOR_USB_INVALID_PARAMETER;
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  const LinkAnswer answer = callEmulator(*socket, {Operation::XilinxVersion, type, index});
  if (answer.code == 0) *version = answer.value;
  return answer.code;
}

uint32_t QorUSB_Platform_Xilinx_Download(uint32_t type, uint32_t index, const char* path, uint32_t* status) {
  if (path == nullptr || status == nullptr) return QOR_USB_INVALID_PARAMETER;
  const auto socket = emulatorSocket();
  if (!socket) return QOR_USB_NO_DEVICE;
  const LinkAnswer answer =
      callEmulator(*socket, {Operation::XilinxDownload, type, index, 0, 0, bytesOf(path, strlen(path))});
  if (answer.code == 0) *status = answer.value;
  return answer.code;
}

uint32_t QorUSB_Platform_FPGA_Reconfiguration(uint32_t, uint32_t, const char* path, uint32_t* first,
                                              uint32_t* second) {
  return notEmulated(path, first, second);
}

uint32_t QorUSB_Platform_Write_FIFO_Memory(uint32_t, uint32_t, const void* data, uint32_t) {
  return notEmulated(data);
}

uint32_t QorUSB_Platform_Read_FIFO_Extended_Timeout(uint32_t, uint32_t, void* buffer, uint32_t, uint32_t) {
  return notEmulated(buffer);
}

uint32_t QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout(uint32_t, uint32_t, void* buffer, uint32_t, uint32_t) {
  return notEmulated(buffer);
}

uint32_t QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout(uint32_t index, void* buffer, uint32_t* size,
                                                                uint32_t milliseconds) {
  return readInto(Operation::ReadMonitor, link::k7140DriverType, index, buffer, size, milliseconds);
}

} // extern "C"
