/* Controller properties: numbered values that a controller keeps, read and written by id, its temperatures and the
 * network settings of Ethernet-attached devices. Read functions leave their outputs untouched on failure. */
#ifndef QOR_COMMON_PROPERTIES_H
#define QOR_COMMON_PROPERTIES_H

#include "qor_network_adapters.h"
#include "qor_types.h"

QOR_BEGIN_DECLS

/* Ids that the general functions reach. */
enum {
  QOR_COMMON_PROPERTY_START_FIRMWARE = 0, /* 1 byte: 1 makes the controller start its firmware */
  QOR_COMMON_PROPERTY_TEMPERATURES = 1,   /* 8 bytes: u32 in 1/32 degree, u32 in 1/8 degree */
  QOR_COMMON_PROPERTY_IP_ADDRESS = 2,     /* 4 bytes */
  QOR_COMMON_PROPERTY_DHCP_MODE = 3,      /* 1 byte: 0 off, 1 on */
  QOR_COMMON_PROPERTY_TEMPERATURE_1 = 35, /* 4 bytes: u32 in 1/256 degree */
  QOR_COMMON_PROPERTY_TEMPERATURE_2 = 36,
  QOR_COMMON_PROPERTY_TEMPERATURE_3 = 37
};

/* The longest value that the general set sends; a port takes at most its maximum parameter length less 8. */
#define QOR_COMMON_PROPERTY_MAX_LENGTH 32748u

/* Writes `length` bytes of value to property `id`: "invalid parameter" for another id or a longer value. */
QOR_API uint32_t Qor_Common_ControllerControl_Property_SetById(uint32_t port, uint16_t id, uint16_t length,
                                                               const void* value);
/* Reads property `id`. *length: room of value in, the value's length out. The value's length when the room is too
 * small: "response buffer undersized" ("received %u bytes"), *length and value untouched. An unknown id or a
 * failing command sets *length to 0. */
QOR_API uint32_t Qor_Common_ControllerControl_Property_GetById(uint32_t port, uint16_t id, uint16_t* length,
                                                               void* value);

/* The controller's temperatures in degrees. Each output is written only when its property gave a value; a failed
 * read of property 35 ends the call. 0 even when some reads failed (their failures are recorded); only the handle
 * and the pointers are refused. */
QOR_API uint32_t Qor_Common_GetTemperature(uint32_t port, float* first, float* second, float* third, float* fourth);

/* ---- network settings of Ethernet-attached devices: the device's own, not the host's ---- */
/* The address travels as the u32 lies in memory (little endian) and comes back the same way. */
QOR_API uint32_t Qor_Common_Ethernet_IpAddress_Set(uint32_t port, const uint32_t* address);
QOR_API uint32_t Qor_Common_Ethernet_IpAddress_Get(uint32_t port, uint32_t* address);
/* 0 off, 1 on; any other mode is "unknown mode". */
QOR_API uint32_t Qor_Common_Ethernet_DHCP_Mode_Set(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_Common_Ethernet_DHCP_Mode_Get(uint32_t port, uint8_t* mode);
QOR_API uint32_t Qor_Common_Ethernet_SubNetMask_Set(uint32_t port, const uint8_t mask[4]);
QOR_API uint32_t Qor_Common_Ethernet_SubNetMask_Get(uint32_t port, uint8_t mask[4]);
QOR_API uint32_t Qor_Common_Ethernet_TcpPort_Get(uint32_t port, uint16_t* tcpPort);
QOR_API uint32_t Qor_Common_Ethernet_DefaultGateway_Set(uint32_t port, const uint8_t gateway[4]);
QOR_API uint32_t Qor_Common_Ethernet_DefaultGateway_Get(uint32_t port, uint8_t gateway[4]);
/* Whether the device starts its FTP server at boot: *state 0 or 1 as the device reports it. */
QOR_API uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_Enable(uint32_t port);
QOR_API uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_Disable(uint32_t port);
QOR_API uint32_t Qor_Common_Ethernet_FtpServer_AutoStart_GetState(uint32_t port, uint8_t* state);

/* The host's own IPv4 adapters: Qor_Ethernet_GetNetworkAdapterInfo of the core library. */
QOR_API uint32_t Qor_Common_Ethernet_GetNetworkAdapterInfo(uint32_t* count, Qor_NetworkAdapter_t* adapters);

QOR_END_DECLS

#endif
