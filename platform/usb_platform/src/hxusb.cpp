// libhxusb without USB hardware: the library loads and answers, and finds no device.
#include "no_device.hpp"

using namespace qor::usb;

extern "C" {

uint32_t QorUSB_Platform_Initialize(void) { return 0; }

uint32_t QorUSB_Platform_DLL_Info(uint32_t* version) {
  if (version == nullptr) return QOR_USB_INVALID_PARAMETER;
  *version = QOR_HXUSB_VERSION;
  return 0;
}

uint32_t QorUSB_Platform_Driver_Info(void* buffer, uint32_t size) {
  return emptyDeviceList(buffer, size, QOR_HXUSB_VERSION);
}

uint32_t QorUSB_Platform_Write_FIFO(uint32_t, uint32_t, const void* data, uint32_t) { return noDevice(data); }

uint32_t QorUSB_Platform_94xx_WriteData(uint32_t, uint32_t, const void* data, uint32_t) { return noDevice(data); }

uint32_t QorUSB_Platform_Read_FIFO_Timeout(uint32_t, uint32_t, void* buffer, uint32_t* size, uint32_t) {
  return buffer == nullptr ? QOR_USB_INVALID_PARAMETER : nothingRead(size);
}

uint32_t QorUSB_Platform_94xx_ReadData(uint32_t, uint32_t, void* buffer, uint32_t* size, uint32_t) {
  return buffer == nullptr ? QOR_USB_INVALID_PARAMETER : nothingRead(size);
}

uint32_t QorUSB_Platform_Read_FIFO(uint32_t, uint32_t, void* buffer, uint32_t* size) {
  return buffer == nullptr ? QOR_USB_INVALID_PARAMETER : nothingRead(size);
}

uint32_t QorUSB_Platform_Xilinx_Read(uint32_t, uint32_t, uint8_t, uint32_t* value) { return noDevice(value); }

uint32_t QorUSB_Platform_Xilinx_Write(uint32_t, uint32_t, uint8_t, uint32_t) { return QOR_USB_NO_DEVICE; }

uint32_t QorUSB_Platform_Xilinx_Version(uint32_t, uint32_t, uint32_t* version) { return noDevice(version); }

uint32_t QorUSB_Platform_Xilinx_Download(uint32_t, uint32_t, const char* path, uint32_t* status) {
  return noDevice(path, status);
}

uint32_t QorUSB_Platform_FPGA_Reconfiguration(uint32_t, uint32_t, const char* path, uint32_t* first,
                                              uint32_t* second) {
  return noDevice(path, first, second);
}

uint32_t QorUSB_Platform_Write_FIFO_Memory(uint32_t, uint32_t, const void* data, uint32_t) { return noDevice(data); }

uint32_t QorUSB_Platform_Read_FIFO_Extended_Timeout(uint32_t, uint32_t, void* buffer, uint32_t, uint32_t) {
  return noDevice(buffer);
}

uint32_t QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout(uint32_t, uint32_t, void* buffer, uint32_t, uint32_t) {
  return noDevice(buffer);
}

uint32_t QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout(uint32_t, void* buffer, uint32_t* size, uint32_t) {
  return buffer == nullptr ? QOR_USB_INVALID_PARAMETER : nothingRead(size);
}

} // extern "C"
