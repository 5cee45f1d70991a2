/* The list of connected interfaces: the record of one listed interface, the lists of each access path, opening
 * interfaces of a device, a device's network settings, and keeping a descriptor's device number current. */
#ifndef QOR_INTERFACE_LIST_H
#define QOR_INTERFACE_LIST_H

#include "qor_network_adapters.h"
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

/* ---- the lists ----
 * Each takes *count as the room of array (in records) and gives the records it wrote, also when it fails;
 * elementSize (at most 40, else 0x2000206) is the bytes taken of each record. When there is not room for every
 * interface, the first *count are written and the list fails with 0x2000201. Opening each controller to read its
 * interfaces fails silently, except when the daemon cannot be reached (0x2000100). The lists open and close ports
 * of the calling process: run one at a time. */

/* Every connected interface: the PCI and PXI cards, the USB devices and, unless flags bit 0, the Ethernet devices
 * behind the adapters of "qor_settings.xml" (which must exist then) with the USB devices behind USB-over-Ethernet
 * adapters. Flags other than 0 and 1: 0x2000209. The first part that fails ends the list with the records so far. */
QOR_API uint32_t Qor_Interface_GetInterfaceList(uint32_t flags, uint32_t* count, void* array, uint32_t elementSize);
/* The PCI, PXI, PCIe and PXIe cards; a host type whose devices fail leaves out its records and the list fails with
 * that code after the other types. */
QOR_API uint32_t Qor_Interface_GetInterfaceList_PciPxi(uint32_t* count, void* array, uint32_t elementSize);
/* The USB devices; a device that fails leaves the list empty with its code. */
QOR_API uint32_t Qor_Interface_GetInterfaceList_Usb(uint32_t* count, void* array, uint32_t elementSize);
#define QOR_ETHERNET_LIST_SETTINGS_ADAPTERS 1u   /* the adapters of "qor_settings.xml", not the one given */
#define QOR_ETHERNET_LIST_USB_OVER_ETHERNET 2u /* also the USB devices behind USB-over-Ethernet adapters */
/* The Ethernet devices that answer discovery behind the adapters (controller 1 of each); flags above 3:
 * 0x2000209. A device that fails leaves the list empty with its code. */
QOR_API uint32_t Qor_Interface_GetInterfaceList_Ethernet(uint32_t flags, uint32_t* count, void* array,
                                                         uint32_t elementSize, const Qor_NetworkAdapter_t* adapter);
/* Serial ports are not listed on this platform: always empty. */
QOR_API uint32_t Qor_Interface_GetInterfaceList_Serial(uint32_t nameLength, const void* name, uint32_t* count,
                                                       void* array, uint32_t elementSize);
/* Not available on this platform: records 0x200020B with an empty text for the process and returns it. */
QOR_API uint32_t Qor_Serial_GetComPorts(uint32_t* count, void* ports);

/* ---- opening interfaces of a device ---- */
/* Opens the device's first interface that exists, from the model's first interface number (1, 20, 21 or 22) up to
 * 22, without automatic configuration or dedicated firmware; info's interface number becomes the one tried last.
 * The result of the last open; *port is 255 unless it succeeded. */
QOR_API uint32_t Qor_Interface_OpenFirstAvailableInterface(Qor_InterfaceInfo_t* info, uint32_t* port);
/* Opens, on the port's controller, its first interface of this type (0x2000009 when there is none), without
 * automatic configuration, boot-loader start or dedicated firmware. */
QOR_API uint32_t Qor_Interface_GetPortHandleByInterfaceType(uint32_t port, uint8_t interfaceType, uint32_t* newPort);
/* The same for the instance-th interface of this type, counting from 0. */
QOR_API uint32_t Qor_Interface_GetPortHandleByInterfaceTypeAndInstance(uint32_t port, uint8_t interfaceType,
                                                                       uint8_t instance, uint32_t* newPort);

/* ---- facts of a device ---- */
/* The network settings of the port's device: host type, address, netmask, gateway (addresses as their bytes in
 * network order), serial number and TCP port; the mac and device number stay 0. A device without settings reports
 * 192.168.1.62, 255.255.255.0 and port 5134; an unanswered gateway is 0. The port stays open on failure. */
QOR_API uint32_t Qor_Interface_GetEthernetParameters(uint32_t port, EthernetDeviceRecord* parameters);
/* The interface type of a model whose controller runs no firmware (LVDS, I/O or resistors), else 0. */
QOR_API uint32_t Qor_Interface_InterfaceType_NoFirmware(const Qor_InterfaceInfo_t* info);
/* Always 0; *count is the model's number of controllers, 0 for an unknown model. */
QOR_API uint32_t Qor_Interface_GetMaxNumberOfControllers(uint32_t hostInterfaceType, uint8_t* count);
/* The serial number of the port's device; 0x200000A for a port that is not open. */
QOR_API uint32_t Qor_Interface_GetSerialNumber(uint32_t port, uint32_t* serialNumber);

/* ---- the Ethernet adapters to scan ---- */
/* The adapters that "qor_settings.xml" in the installation directory lists. *count: room in, adapters out. A path
 * longer than 1023 bytes, and every failure to read the file, give 0x200000D. */
QOR_API uint32_t Qor_Ethernet_GetScanableAdaptersFromSettingsFile(uint32_t* count, Qor_NetworkAdapter_t* adapters);

/* Sets the device number of a USB descriptor to that of the connected device with this serial number (0x200000C
 * when none is connected); every other descriptor stays as it is. Errors are recorded for port, or for the process
 * alone with QOR_NO_PORT. */
QOR_API uint32_t Qor_Interface_UpdateDeviceIndex(uint32_t port, Qor_InterfaceInfo_t* info, uint32_t serialNumber);

QOR_END_DECLS

#endif
