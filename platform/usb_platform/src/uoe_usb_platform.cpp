// libuoe_QorUSB_Platform without a reachable adapter: the library loads and answers, and reaches no target.
#include "no_device.hpp"

using namespace qor::usb;

extern "C" {

uint32_t QorUSB_Platform_DLL_Info(uint32_t* version) {
  if (version == nullptr) return QOR_USB_INVALID_PARAMETER;
  *version = QOR_UOE_USB_VERSION;
  return 0;
}

uint32_t QorUSB_Platform_ConnectToTarget(uint32_t, uint32_t, uint32_t* connection) { return noDevice(connection); }

uint32_t QorUSB_Platform_DisconnectFromTarget(uint32_t) { return QOR_USB_NO_DEVICE; }

uint32_t QorUSB_Platform_DeviceEnumerationStatus_Get_UoE(uint32_t* status, uint32_t) { return noDevice(status); }

uint32_t QorUSB_Platform_Driver_Info_UoE(void* buffer, uint32_t size, uint32_t, uint32_t) {
  return emptyDeviceList(buffer, size, QOR_UOE_USB_VERSION);
}

uint32_t QorUSB_Platform_Xilinx_Read_UoE(uint32_t, uint32_t, uint8_t, uint32_t* value, uint32_t) {
  return noDevice(value);
}

uint32_t QorUSB_Platform_Xilinx_Write_UoE(uint32_t, uint32_t, uint8_t, uint32_t, uint32_t) { return QOR_USB_NO_DEVICE; }

uint32_t QorUSB_Platform_Xilinx_Version_UoE(uint32_t, uint32_t, uint32_t* version, uint32_t) {
  return noDevice(version);
}

uint32_t QorUSB_Platform_Xilinx_Download_UoE(uint32_t, uint32_t, const char* path, uint32_t* status, uint32_t) {
  return noDevice(path, status);
}

} // extern "C"
