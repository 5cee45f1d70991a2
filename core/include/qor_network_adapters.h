/* The host's own IPv4 adapters, the ones device discovery runs behind. */
#ifndef QOR_NETWORK_ADAPTERS_H
#define QOR_NETWORK_ADAPTERS_H

#include "qor_types.h"

QOR_BEGIN_DECLS

typedef struct Qor_NetworkAdapter_t {
  uint32_t address; /* network byte order */
  uint32_t netmask; /* network byte order */
} Qor_NetworkAdapter_t;

/* A device that Ethernet discovery found: the records of a 0x17 reply for the Ethernet host types (after a u32
 * device count), and the settings that Qor_Interface_GetEthernetParameters gives. */
typedef struct EthernetDeviceRecord {
  uint32_t hostInterfaceType; /* +0 from the device's "target=" code */
  uint32_t address;           /* +4 network byte order, the answer's sender */
  uint32_t netmask;           /* +8 network byte order */
  uint32_t gateway;           /* +12 network byte order */
  uint32_t mac;               /* +16 */
  uint32_t serialNumber;      /* +20 */
  uint16_t tcpPort;           /* +24 */
  uint8_t deviceNumber;       /* +26 position in the list, from 1 */
  uint8_t reserved;           /* +27 */
} EthernetDeviceRecord;
QOR_STATIC_ASSERT(sizeof(EthernetDeviceRecord) == 28, "EthernetDeviceRecord is 28 bytes");
QOR_STATIC_ASSERT(offsetof(EthernetDeviceRecord, serialNumber) == 20, "serial number at 20");
QOR_STATIC_ASSERT(offsetof(EthernetDeviceRecord, deviceNumber) == 26, "device number at 26");

/* Every IPv4 address of the host outside 127.0.0.0/8. *count: room in, adapters out. */
QOR_API uint32_t Qor_Ethernet_GetNetworkAdapterInfo(uint32_t* count, Qor_NetworkAdapter_t* adapters);

/* The driver information of host type 18 behind these adapters: u32 device count, then 28-byte device records
 * (EthernetDeviceRecord). output holds QOR_ETHERNET_DRIVER_INFO_SIZE bytes. */
#define QOR_ETHERNET_DRIVER_INFO_SIZE 1796u
QOR_API uint32_t Qor_Ethernet_GetDriverInfo(uint32_t adapterCount, const Qor_NetworkAdapter_t* adapters, void* output);

/* The number of Ethernet devices found behind one adapter. */
QOR_API uint32_t Qor_GetDriverInfo_Ethernet(uint32_t address, uint32_t netmask, uint32_t* count);

QOR_END_DECLS

#endif
