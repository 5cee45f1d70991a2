/* The Ethernet controller's monitor: the frames the controller sees, as items. Either the application reads them
 * from the firmware on demand, or (QOR_ETHERNET_MONITOR_HOST_RING) the firmware pushes them to a ring of the library
 * in the application's memory, from which Qor_Ethernet_Monitor_GetData reads. */
#ifndef QOR_ETHERNET_MONITOR_H
#define QOR_ETHERNET_MONITOR_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Bits 0 to 2 go to the firmware only; bit 3 selects the ring in the application (and goes to the firmware too). */
#define QOR_ETHERNET_MONITOR_CONFIG_FLAGS 0x0Fu
#define QOR_ETHERNET_MONITOR_HOST_RING 0x08u
#define QOR_ETHERNET_MONITOR_MAX_PROPERTY_ID 2u
/* The ring's bytes. */
#define QOR_ETHERNET_MONITOR_RING_BYTES 104857600u

/* The head of a monitor item; the frame follows it, the item's bytes are itemBytes. GetData writes items back to
 * back, each whole. The time stamp lies at +4, so the head is given in 32-bit halves. */
typedef struct Ethernet_Param_Monitor_Item_t {
  uint16_t itemBytes;       /* +0 the head and the frame */
  uint16_t firmwareField;   /* +2 the firmware's */
  uint32_t timeStampNsLow;  /* +4 nanoseconds, low half */
  uint32_t timeStampNsHigh; /* +8 high half */
} Ethernet_Param_Monitor_Item_t;
QOR_STATIC_ASSERT(sizeof(Ethernet_Param_Monitor_Item_t) == 12, "Ethernet monitor item head is 12 bytes");

QOR_API uint32_t Qor_Ethernet_Monitor_Config(uint32_t port, uint32_t flags);
QOR_API uint32_t Qor_Ethernet_Monitor_Start(uint32_t port);
QOR_API uint32_t Qor_Ethernet_Monitor_Stop(uint32_t port);
/* Closes the port's monitor in the core (the ring goes with it); GetData then reports "monitor not initialized"
 * until the next configuration. */
QOR_API uint32_t Qor_Ethernet_Monitor_Reset(uint32_t port);
/* *size: the buffer's bytes, then the bytes written; *itemCount: the items written. From the ring: whole items that
 * fit, an item larger than the whole buffer reports 0x2130003 and stays. From the firmware: its data larger than the
 * buffer reports 0x2130003 after copying *size bytes. */
QOR_API uint32_t Qor_Ethernet_Monitor_GetData(uint32_t port, uint16_t* itemCount, uint32_t* size, uint8_t* buffer);
/* *flags bit 0 and the two time values are the firmware's. */
QOR_API uint32_t Qor_Ethernet_Monitor_GetTime(uint32_t port, uint32_t* flags, uint64_t* first, uint64_t* second);
QOR_API uint32_t Qor_Ethernet_Monitor_WriteUserEvent(uint32_t port, uint8_t eventValue, uint8_t length,
                                                     const uint8_t* data);
QOR_API uint32_t Qor_Ethernet_Monitor_Property_SetById(uint32_t port, uint32_t id, uint32_t value);
QOR_API uint32_t Qor_Ethernet_Monitor_Property_GetById(uint32_t port, uint32_t id, uint32_t* value);
/* Forgets every port's reader. */
QOR_API void Qor_Ethernet_Monitor_DeleteAll(void);
/* Registered with the core by Config; not for applications. */
QOR_API void Qor_Ethernet_Monitor_Callback(uint32_t port, void* context, const uint8_t* data, uint32_t length);
QOR_API void Qor_Ethernet_Monitor_Callback_CleanUp(uint32_t port, void* context);

QOR_END_DECLS

#endif
