/* The list of connected interfaces: the record of one listed interface, and keeping a descriptor's device number
 * current. */
#ifndef QOR_INTERFACE_LIST_H
#define QOR_INTERFACE_LIST_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* One interface of a connected device (40 bytes; callers may take fewer bytes per record, never more). */
typedef struct Qor_InterfaceData_t {
  uint8_t interfaceType;        /* +0 Qor_InterfaceType */
  uint8_t controllerNumber;     /* +1 */
  uint8_t interfaceNumber;      /* +2 */
  uint8_t communicationType;    /* +3 how the device is attached (Qor_HostCommunicationType; 6 for serial ports) */
  uint32_t hostInterfaceType;   /* +4 */
  uint32_t serialNumber;        /* +8 */
  uint32_t deviceNumber;        /* +12 serial ports: the position in the daemon's list */
  uint32_t ipAddress;           /* +16 the device's, or the USB-over-Ethernet adapter's; bytes in network order */
  uint16_t tcpPort;             /* +20 */
  uint8_t serialPortValue;      /* +22 serial ports: the port value of the daemon's entry */
  uint8_t position;             /* +23 cards: low byte of the slot position */
  uint32_t netmask;             /* +24 bytes in network order */
  uint32_t adapterSerialNumber; /* +28 USB over Ethernet: the adapter's serial number */
  uint32_t gateway;             /* +32 bytes in network order */
  uint32_t reserved;            /* +36 */
} Qor_InterfaceData_t;
QOR_STATIC_ASSERT(sizeof(Qor_InterfaceData_t) == 40, "Qor_InterfaceData_t is 40 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_InterfaceData_t, tcpPort) == 20, "TCP port at 20");
QOR_STATIC_ASSERT(offsetof(Qor_InterfaceData_t, gateway) == 32, "gateway at 32");

/* Sets the device number of a USB descriptor to that of the connected device with this serial number (0x200000C
 * when none is connected); every other descriptor stays as it is. Errors are recorded for port, or for the process
 * alone with QOR_NO_PORT. */
QOR_API uint32_t Qor_Interface_UpdateDeviceIndex(uint32_t port, Qor_InterfaceInfo_t* info, uint32_t serialNumber);

QOR_END_DECLS

#endif
