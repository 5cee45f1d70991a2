/* The USB platform libraries that the daemon loads by name: libhxusb ("libhxusb.so") for USB devices and
 * libuoe_QorUSB_Platform ("libuoe_QorUSB_Platform.so") for USB devices behind a USB-over-Ethernet adapter. Every
 * function returns 0 or a code 0xE0000xxx. A controller is addressed by its device type and index in the device
 * list.
 *
 * These are stand-ins for machines without the outside libraries and without USB hardware. Without settings they
 * report no device, and every call that addresses a controller or an adapter answers QOR_USB_NO_DEVICE; libhxusb
 * reaches the USB devices of a device emulator named in its settings file, libuoe_QorUSB_Platform the emulated
 * adapters at the port its settings file names (qor_usb_emulator_link.hpp). */
#ifndef QOR_USB_PLATFORM_H
#define QOR_USB_PLATFORM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_USB_API __attribute__((visibility("default")))
#ifdef __cplusplus
#define QOR_USB_STATIC_ASSERT static_assert
#else
#define QOR_USB_STATIC_ASSERT _Static_assert
#endif

#define QOR_USB_NO_DEVICE 0xE0000105u
#define QOR_USB_UNKNOWN_IOCTRL 0xE0000002u
#define QOR_USB_DEVICE_REMOVED 0xE0000007u
#define QOR_USB_UNDEFINED_ERROR 0xE00000F0u
#define QOR_USB_MEMORY_UNDERSIZED 0xE0000114u
#define QOR_USB_INVALID_LENGTH 0xE0000115u
#define QOR_USB_INVALID_PARAMETER 0xE0000120u

/* Library versions: major * 100 + minor. */
#define QOR_HXUSB_VERSION 225u
#define QOR_UOE_USB_VERSION 100u

/* The device list that Driver_Info fills: a header and one entry per controller. */
#define QOR_USB_DRIVER_INFO_SIZE 2060u
typedef struct QorUSB_DriverInfo_Header_t {
  uint32_t version;         /* +0 */
  uint32_t reserved4;       /* +4 */
  uint32_t controllerCount; /* +8 */
  uint32_t reserved12;      /* +12 */
} QorUSB_DriverInfo_Header_t;
typedef struct QorUSB_DriverInfo_Entry_t {
  uint32_t serialNumber; /* +0 */
  uint32_t libraryValue; /* +4 */
  uint32_t deviceType;   /* +8 */
  uint32_t reserved12;   /* +12 */
} QorUSB_DriverInfo_Entry_t;
QOR_USB_STATIC_ASSERT(sizeof(QorUSB_DriverInfo_Header_t) == 16, "device list header is 16 bytes");
QOR_USB_STATIC_ASSERT(sizeof(QorUSB_DriverInfo_Entry_t) == 16, "device list entry is 16 bytes");

/* ---- both libraries ---- */
QOR_USB_API uint32_t QorUSB_Platform_DLL_Info(uint32_t* version);

/* ---- libhxusb ---- */
QOR_USB_API uint32_t QorUSB_Platform_Initialize(void);
/* Fills the device list within size bytes; QOR_USB_NO_DEVICE when it lists no controller. */
QOR_USB_API uint32_t QorUSB_Platform_Driver_Info(void* buffer, uint32_t size);
QOR_USB_API uint32_t QorUSB_Platform_Write_FIFO(uint32_t type, uint32_t index, const void* data, uint32_t length);
QOR_USB_API uint32_t QorUSB_Platform_94xx_WriteData(uint32_t type, uint32_t index, const void* data,
                                                    uint32_t length);
/* *size: room in; bytes of one frame out, 0 when none came within milliseconds. A frame larger than the room is
 * QOR_USB_MEMORY_UNDERSIZED (the frame is dropped, nothing is written). */
QOR_USB_API uint32_t QorUSB_Platform_Read_FIFO_Timeout(uint32_t type, uint32_t index, void* buffer, uint32_t* size,
                                                       uint32_t milliseconds);
QOR_USB_API uint32_t QorUSB_Platform_94xx_ReadData(uint32_t type, uint32_t index, void* buffer, uint32_t* size,
                                                   uint32_t milliseconds);
QOR_USB_API uint32_t QorUSB_Platform_Read_FIFO(uint32_t type, uint32_t index, void* buffer, uint32_t* size);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Read(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Write(uint32_t type, uint32_t index, uint8_t reg, uint32_t value);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Version(uint32_t type, uint32_t index, uint32_t* version);
/* Loads the FPGA file; 0xE000012A while another client loads; the low byte of *status is a firmware error. */
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Download(uint32_t type, uint32_t index, const char* path,
                                                     uint32_t* status);
QOR_USB_API uint32_t QorUSB_Platform_FPGA_Reconfiguration(uint32_t type, uint32_t index, const char* path,
                                                          uint32_t* first, uint32_t* second);
QOR_USB_API uint32_t QorUSB_Platform_Write_FIFO_Memory(uint32_t type, uint32_t index, const void* data,
                                                       uint32_t length);
QOR_USB_API uint32_t QorUSB_Platform_Read_FIFO_Extended_Timeout(uint32_t type, uint32_t index, void* buffer,
                                                                uint32_t first, uint32_t second);
/* From version 2.21 on, in place of the one above. */
QOR_USB_API uint32_t QorUSB_Platform_Read_FIFO_Extended_Speed_Timeout(uint32_t type, uint32_t index, void* buffer,
                                                                      uint32_t first, uint32_t second);
/* The monitor bytes of the 7140 model; *size: room in, bytes out. */
QOR_USB_API uint32_t QorUSB_Platform_7140_Read_FIFO_Extended_Packet_Timeout(uint32_t index, void* buffer,
                                                                            uint32_t* size, uint32_t milliseconds);

/* ---- libuoe_QorUSB_Platform: the same services through a connection to an adapter ---- */
QOR_USB_API uint32_t QorUSB_Platform_ConnectToTarget(uint32_t target, uint32_t milliseconds, uint32_t* connection);
QOR_USB_API uint32_t QorUSB_Platform_DisconnectFromTarget(uint32_t target);
/* *status: 1 enumeration done, 2 busy. */
QOR_USB_API uint32_t QorUSB_Platform_DeviceEnumerationStatus_Get_UoE(uint32_t* status, uint32_t connection);
QOR_USB_API uint32_t QorUSB_Platform_Driver_Info_UoE(void* buffer, uint32_t size, uint32_t connection,
                                                     uint32_t reserved);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Read_UoE(uint32_t type, uint32_t index, uint8_t reg, uint32_t* value,
                                                     uint32_t connection);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Write_UoE(uint32_t type, uint32_t index, uint8_t reg, uint32_t value,
                                                      uint32_t connection);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Version_UoE(uint32_t type, uint32_t index, uint32_t* version,
                                                        uint32_t connection);
QOR_USB_API uint32_t QorUSB_Platform_Xilinx_Download_UoE(uint32_t type, uint32_t index, const char* path,
                                                         uint32_t* status, uint32_t connection);

#ifdef __cplusplus
}
#endif

#endif
