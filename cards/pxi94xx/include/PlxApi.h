/* The access layer over the bridge driver's device nodes under "/dev/plx/": fixed 400-byte request records sent by
 * ioctl, and the card's memory windows (BARs) mapped with mmap on the node. Every function returns a small status:
 * 0 success; 2 null argument; 3 a driver request failed (at connect: the version request); 4 no driver node could be
 * opened; 5 object invalid or already open, or no device matched; 6 wrong driver version; 8 BAR index above 5 (map)
 * or physical address or size 0; 10 BAR not mappable, address not mapped, unmapping failed or the BAR mapped 255
 * times; 11 BAR index above 5 (properties) or an unsupported find mode; 12 mmap failed. A non-zero status word of
 * the driver is passed on unchanged. Records are little endian. */
#ifndef PLX_API_H
#define PLX_API_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* What libPxi94xx exports. */
#define PXI94XX_API __attribute__((visibility("default")))

#define PLX_TAG_VALID 0x5F504C58u
#define PLX_TAG_INVALID 0x564F4944u /* "DIOV" in memory */
#define PLX_NODE_DIRECTORY "/dev/plx/"
#define PLX_DRIVER_VERSION_MAJOR 7
#define PLX_DRIVER_VERSION_MINOR 24
#define PLX_BAR_COUNT 6

enum {
  PLX_STATUS_OK = 0,
  PLX_STATUS_NULL_ARGUMENT = 2,
  PLX_STATUS_REQUEST_FAILED = 3,
  PLX_STATUS_NO_DRIVER = 4,
  PLX_STATUS_INVALID_OBJECT = 5,
  PLX_STATUS_WRONG_DRIVER_VERSION = 6,
  PLX_STATUS_INVALID_ADDRESS = 8,
  PLX_STATUS_NOT_MAPPED = 10,
  PLX_STATUS_UNSUPPORTED = 11,
  PLX_STATUS_MAP_FAILED = 12
};

/* Request numbers: read-write ioctl, type 'P', size 400. */
#define PLX_REQUEST(nr) (0xC1905000u + (nr))
enum {
  PLX_REQUEST_VERSION_CHECK = 0x00,
  PLX_REQUEST_FIND_DEVICE = 0x07,
  PLX_REQUEST_BAR_PROPERTIES = 0x08,
  PLX_REQUEST_BAR_MAP_PREPARE = 0x09,
  PLX_REQUEST_CONFIG_READ = 0x0D,
  PLX_REQUEST_CONFIG_WRITE = 0x0E,
  PLX_REQUEST_COMMON_BUFFER = 0x17,
  PLX_REQUEST_NOTIFICATION_REGISTER = 0x2D,
  PLX_REQUEST_NOTIFICATION_CANCEL = 0x2E,
  PLX_REQUEST_NOTIFICATION_WAIT = 0x2F,
  PLX_REQUEST_DRIVER_VERSION = 0x43
};

/* Identifies a device; all 40 bytes 0xFF match any device. */
typedef struct PlxDeviceKey_t {
  uint32_t tag;           /* +0 PLX_TAG_VALID when the key names a found device */
  uint8_t domain;         /* +4 */
  uint8_t bus;            /* +5 */
  uint8_t slot;           /* +6 */
  uint8_t function;       /* +7 */
  uint16_t vendorId;      /* +8 */
  uint16_t deviceId;      /* +10 */
  uint8_t driverData[10]; /* +12 carried as the driver fills it */
  uint8_t driverIndex;    /* +22 position in the driver table of the driver that found it */
  uint8_t driverData2;    /* +23 */
  uint16_t deviceNumber;  /* +24 node suffix */
  uint8_t accessMode;     /* +26 0 requests go to the node, 1 no driver requests */
  uint8_t driverData3[13]; /* +27 */
} PlxDeviceKey_t;
QOR_STATIC_ASSERT(sizeof(PlxDeviceKey_t) == 40, "PlxDeviceKey_t is 40 bytes");
QOR_STATIC_ASSERT(offsetof(PlxDeviceKey_t, deviceId) == 10, "device id at 10");
QOR_STATIC_ASSERT(offsetof(PlxDeviceKey_t, driverIndex) == 22, "driver index at 22");
QOR_STATIC_ASSERT(offsetof(PlxDeviceKey_t, deviceNumber) == 24, "device number at 24");
QOR_STATIC_ASSERT(offsetof(PlxDeviceKey_t, accessMode) == 26, "access mode at 26");

/* One driver request, zeroed before each. */
typedef struct PlxRequest_t {
  uint32_t status;         /* +0 written by the driver: 0 success */
  PlxDeviceKey_t key;      /* +4 (the configuration requests set only bus, slot and function) */
  uint8_t reserved1[4];    /* +44 */
  uint64_t value0;         /* +48 argument or result */
  uint64_t value1;         /* +56 */
  uint8_t reserved2[8];    /* +64 */
  uint8_t reply[32];       /* +72 property reply area; +76 (reply[4]) interrupt source of a notification */
  uint8_t reserved3[296];  /* +104 */
} PlxRequest_t;
QOR_STATIC_ASSERT(sizeof(PlxRequest_t) == 400, "PlxRequest_t is 400 bytes");
QOR_STATIC_ASSERT(offsetof(PlxRequest_t, value0) == 48, "value 0 at 48");
QOR_STATIC_ASSERT(offsetof(PlxRequest_t, value1) == 56, "value 1 at 56");
QOR_STATIC_ASSERT(offsetof(PlxRequest_t, reply) == 72, "reply area at 72");
#define PLX_REQUEST_INTERRUPT_SOURCE_OFFSET 76u

typedef struct PlxBarProperties_t {
  uint64_t value;           /* +0 */
  uint64_t physicalAddress; /* +8 */
  uint64_t size;            /* +16 */
  uint32_t flags;           /* +24 bit 1: not mappable */
  uint32_t unused;          /* +28 */
} PlxBarProperties_t;
QOR_STATIC_ASSERT(sizeof(PlxBarProperties_t) == 32, "PlxBarProperties_t is 32 bytes");
#define PLX_BAR_FLAG_NOT_MAPPABLE 0x2u

typedef struct PlxPhysicalMemory_t {
  uint64_t userAddress;     /* +0 written by the map, read by the unmap */
  uint64_t unused;          /* +8 */
  uint64_t physicalAddress; /* +16 */
  uint32_t size;            /* +24 */
  uint32_t padding;         /* +28 */
} PlxPhysicalMemory_t;
QOR_STATIC_ASSERT(sizeof(PlxPhysicalMemory_t) == 32, "PlxPhysicalMemory_t is 32 bytes");

/* One opened device, owned by the caller. */
typedef struct PlxDeviceObject_t {
  uint32_t tag;                                  /* PLX_TAG_VALID while open */
  PlxDeviceKey_t key;
  uint32_t padding;
  int64_t descriptor;                            /* the open node; -1 when none */
  PlxBarProperties_t barProperties[PLX_BAR_COUNT]; /* filled when a BAR is first mapped */
  uint64_t barAddress[PLX_BAR_COUNT];            /* 0 while not mapped */
  uint8_t mapCount[PLX_BAR_COUNT];
  uint8_t padding2[2];
  uint8_t commonBuffer[32];                      /* cached; valid when its u64 at 8 is not 0 */
} PlxDeviceObject_t;

PXI94XX_API int Driver_Connect(int64_t* descriptor, uint8_t driverIndex,
                                                                       uint16_t deviceNumber);
PXI94XX_API int PlxIoMessage(PlxDeviceObject_t* device, uint32_t request,
                                                                     PlxRequest_t* record);
PXI94XX_API int PlxPci_DeviceFind(PlxDeviceKey_t* key, uint16_t index);
PXI94XX_API int PlxPci_DeviceFindEx(PlxDeviceKey_t* key, uint32_t index,
                                                                            uint32_t mode, void* ignored);
PXI94XX_API int PlxPci_DeviceOpen(PlxDeviceKey_t* key,
                                                                          PlxDeviceObject_t* device);
PXI94XX_API int PlxPci_DeviceClose(PlxDeviceObject_t* device);
PXI94XX_API int PlxPci_PciBarProperties(PlxDeviceObject_t* device,
                                                                                uint8_t bar,
                                                                                PlxBarProperties_t* properties);
PXI94XX_API int PlxPci_PciBarMap(PlxDeviceObject_t* device, uint8_t bar,
                                                                         uint64_t* userAddress);
PXI94XX_API int PlxPci_PciBarUnmap(PlxDeviceObject_t* device,
                                                                           uint64_t* userAddress);
PXI94XX_API int PlxPci_PhysicalMemoryMap(PlxDeviceObject_t* device,
                                                                                 PlxPhysicalMemory_t* memory);
PXI94XX_API int PlxPci_PhysicalMemoryUnmap(PlxDeviceObject_t* device,
                                                                                   PlxPhysicalMemory_t* memory);
PXI94XX_API int PlxPci_CommonBufferProperties(PlxDeviceObject_t* device,
                                                                                      uint8_t* properties);
/* The register value; 0xFFFFFFFF (and the status in *status when given) when no device could be opened. */
PXI94XX_API uint32_t PlxPci_PciRegisterRead_BypassOS(
    uint8_t bus, uint8_t slot, uint8_t function, uint16_t offset, int* status);
PXI94XX_API int PlxPci_PciRegisterWrite_BypassOS(
    uint8_t bus, uint8_t slot, uint8_t function, uint16_t offset, uint32_t value);
PXI94XX_API int Pxi94xx_DriverVersion(PlxDeviceObject_t* device,
                                                                              uint8_t* major, uint8_t* minor,
                                                                              uint8_t* revision);
/* Writes the formatted line, at most 303 characters, to standard output. */
PXI94XX_API void PlxApi_DebugPrintf(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

QOR_END_DECLS

#endif
