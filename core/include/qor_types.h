/* Basic records and type codes shared by every library of the system. */
#ifndef QOR_TYPES_H
#define QOR_TYPES_H

#include <stddef.h>
#include <stdint.h>

#include "qor_export.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "wire and file records are laid out little endian; this host is not"
#endif

#ifdef __cplusplus
#define QOR_STATIC_ASSERT static_assert
#else
#define QOR_STATIC_ASSERT _Static_assert
#endif

QOR_BEGIN_DECLS

/* The hardware model that carries a port: 0 to 86, see the host type table. */
typedef uint32_t Qor_HostInterfaceType;
/* Stands for an unknown model wherever a getter or translation cannot give one. */
#define QOR_HOST_INTERFACE_TYPE_UNKNOWN 87u
#define QOR_HOST_INTERFACE_TYPE_COUNT 87u

/* The kind of controller behind a port: 1 to 16. */
typedef uint32_t Qor_InterfaceType;
enum {
  QOR_INTERFACE_SEQUENCE = 2,
  QOR_INTERFACE_IO = 3,
  QOR_INTERFACE_CAN = 4,
  QOR_INTERFACE_LIN = 5,
  QOR_INTERFACE_KLINE = 6,
  QOR_INTERFACE_MOST = 7,
  QOR_INTERFACE_LVDS = 8,
  QOR_INTERFACE_FLEXRAY = 9,
  QOR_INTERFACE_RESTBUS = 10,
  QOR_INTERFACE_USER_CODE = 11,
  QOR_INTERFACE_FILE_SYSTEM = 12,
  QOR_INTERFACE_RESISTORS = 13,
  QOR_INTERFACE_ETHERNET = 14,
  QOR_INTERFACE_UNKNOWN = 15,
  QOR_INTERFACE_CAN_STM = 16
};

/* How a model is attached to the host. */
typedef uint32_t Qor_HostCommunicationType;
enum {
  QOR_COMMUNICATION_UNKNOWN = 0,
  QOR_COMMUNICATION_PXI = 1,
  QOR_COMMUNICATION_PCI = 2,
  QOR_COMMUNICATION_USB = 3,
  QOR_COMMUNICATION_ETHERNET = 4,
  QOR_COMMUNICATION_USB_OVER_ETHERNET = 5,
  QOR_COMMUNICATION_APIX = 6,
  QOR_COMMUNICATION_PCIE = 7,
  QOR_COMMUNICATION_PXIE = 8
};

/* Who executes a port's commands. */
typedef uint32_t Qor_InterfaceHost;
enum { QOR_INTERFACE_HOST_FIRMWARE = 0, QOR_INTERFACE_HOST_FPGA = 1, QOR_INTERFACE_HOST_NONE = 2 };

/* Result bits of Qor_GetLockStatus. */
typedef uint32_t Qor_LockStatus;
enum { QOR_LOCK_CONTROLLER = 1u << 0, QOR_LOCK_INTERFACE = 1u << 1, QOR_LOCK_MONITOR = 1u << 2 };

/* Port property ids of Qor_GetPropertyById / Qor_SetPropertyById: read only, unless said. */
typedef uint8_t Qor_PortPropertyId;
enum {
  QOR_PROPERTY_DAEMON_MONITORS = 0,               /* read and set: the port's monitors run in the daemon */
  QOR_PROPERTY_INTERFACE_HOST = 1,                /* Qor_InterfaceHost */
  QOR_PROPERTY_DEVICE_IDENTIFIER = 2,             /* the serial number */
  QOR_PROPERTY_PORT_INDEX = 3,                    /* the daemon's slot */
  QOR_PROPERTY_APPLICATION_INDEX = 4,
  QOR_PROPERTY_COMMUNICATION_TYPE = 5,            /* Qor_HostCommunicationType */
  QOR_PROPERTY_PARAMETER_WIDTH = 6,               /* 64 or 32 */
  QOR_PROPERTY_REAL_HOST_INTERFACE_TYPE = 7,      /* as the firmware reported it */
  QOR_PROPERTY_OVERWRITE_HOST_INTERFACE_TYPE = 8, /* set only: the host type of the stored descriptor */
  QOR_PROPERTY_USE_DEDICATED_FIRMWARE = 9,        /* from the interface configuration file */
  QOR_PROPERTY_INTERFACE_TYPE = 10                /* Qor_InterfaceType */
};

/* Descriptor flag bits of Qor_InterfaceInfo_t. */
enum {
  QOR_INTERFACE_FLAG_BINARY_IPV4 = 1u << 0,
  QOR_INTERFACE_FLAG_USB_OVER_ETHERNET = 1u << 1,
  QOR_INTERFACE_FLAG_ETHERNET = 1u << 2,
  QOR_INTERFACE_FLAGS_VALID = 0x7u
};

/* Interface descriptor given to the open functions (28 bytes). */
typedef struct Qor_InterfaceInfo_t {
  uint32_t hostInterfaceType; /* +0 */
  uint8_t controllerNumber;   /* +4 */
  uint8_t interfaceNumber;    /* +5 */
  uint16_t flags;             /* +6 */
  uint32_t deviceNumber;      /* +8: serial number; for Ethernet the u16 TCP port at +8, reserved u16 at +10 */
  char ipAddress[16];         /* +12: dotted text, or a binary u32 with QOR_INTERFACE_FLAG_BINARY_IPV4 */
} Qor_InterfaceInfo_t;
QOR_STATIC_ASSERT(sizeof(Qor_InterfaceInfo_t) == 28, "Qor_InterfaceInfo_t is 28 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_InterfaceInfo_t, flags) == 6, "flags at 6");
QOR_STATIC_ASSERT(offsetof(Qor_InterfaceInfo_t, deviceNumber) == 8, "device number at 8");
QOR_STATIC_ASSERT(offsetof(Qor_InterfaceInfo_t, ipAddress) == 12, "address at 12");

/* No port: the handle of a failed open, or the error store of the process alone. */
#define QOR_NO_PORT 255u
#define QOR_MAX_PORTS 255u

QOR_END_DECLS

#endif
