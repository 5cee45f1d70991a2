/* The CAN monitor: the traffic a CAN node sees, as items with time stamps.
 *
 * Buffer mode: a start (Qor_Can_Monitor_BufferMode_Start, _Start2) sets up one monitor instance of the port (the
 * current one, Qor_Monitor_InstanceId_Set) and starts the firmware's collection; the items are read with
 * Qor_Can_Monitor_BufferMode_GetItems (24-byte API items, or large items with direct reading) or
 * Qor_Can_Monitor_BufferMode_GetItems_Large (CAN FD items in 80-byte slots), or handed to a callback
 * (Qor_Can_Monitor_BufferMode_Async_Start). List mode: the firmware keeps the last frame of each identifier.
 *
 * Firmware of parameter width 32 (port property 6) sends compact 20-byte items, which the library converts into API
 * items; width 64 sends API items and, on request, large items. Dropped items are marked in the items themselves:
 * QOR_CAN_MONITOR_BUFFER_FILLED or QOR_CAN_MONITOR_DATA_LOST in the flags of the last item returned, or
 * QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED in the flags of the last large item stored before the loss. */
#ifndef QOR_CAN_MONITOR_H
#define QOR_CAN_MONITOR_H

#include <stddef.h>

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* The API's item (24 bytes), also the firmware's item of parameter width 64. */
typedef struct Qor_Can_Monitor_Item_t {
  uint64_t timeStampNs; /* +0 */
  uint32_t identifier;  /* +8 */
  uint16_t flags;       /* +12: bits 0 and 1 the message flags; 2, 4 and 7 as the firmware sets them; 15 see above */
  uint8_t dlc;          /* +14 */
  uint8_t dlcCopy;      /* +15: the DLC again */
  uint8_t data[8];      /* +16 */
} Qor_Can_Monitor_Item_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_Monitor_Item_t) == 24, "the API's monitor item is 24 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Monitor_Item_t, identifier) == 8, "identifier at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Monitor_Item_t, flags) == 12, "flags at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Monitor_Item_t, dlc) == 14, "DLC at 14");
QOR_STATIC_ASSERT(offsetof(Qor_Can_Monitor_Item_t, data) == 16, "data at 16");

/* The firmware's compact item of parameter width 32 (20 bytes). */
typedef struct Can_Param_Monitor_Buffer32_Item_t {
  uint32_t timeStamp;    /* +0: in units of timeStampUnit */
  uint32_t identifier;   /* +4 */
  uint8_t flags;         /* +8: the firmware's flags */
  uint8_t dlc;           /* +9 */
  uint8_t timeStampUnit; /* +10: 0 = 10,000 ns, 1 = 400 ns */
  uint8_t reserved;      /* +11 */
  uint8_t data[8];       /* +12 */
} Can_Param_Monitor_Buffer32_Item_t;
QOR_STATIC_ASSERT(sizeof(Can_Param_Monitor_Buffer32_Item_t) == 20, "the compact item is 20 bytes");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer32_Item_t, flags) == 8, "flags at 8");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer32_Item_t, timeStampUnit) == 10, "unit at 10");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer32_Item_t, data) == 12, "data at 12");

/* A CAN FD item: the firmware sends the head and dataLength bytes, the next item at (dataLength + 19) & ~3; the
 * library hands each one over in a slot of this record's 80 bytes. */
typedef struct Can_Param_Monitor_Buffer64_LargeItem_t {
  uint64_t timeStampNs; /* +0 */
  uint32_t identifier;  /* +8 */
  uint16_t flags;       /* +12 */
  uint8_t dlc;          /* +14: as the firmware gives it */
  uint8_t dataLength;   /* +15: 0 to 64 */
  uint8_t data[64];     /* +16 */
} Can_Param_Monitor_Buffer64_LargeItem_t;
QOR_STATIC_ASSERT(sizeof(Can_Param_Monitor_Buffer64_LargeItem_t) == 80, "a large item's slot is 80 bytes");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer64_LargeItem_t, flags) == 12, "flags at 12");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer64_LargeItem_t, dataLength) == 15, "data length at 15");
QOR_STATIC_ASSERT(offsetof(Can_Param_Monitor_Buffer64_LargeItem_t, data) == 16, "data at 16");

/* Item flags. */
#define QOR_CAN_MONITOR_BUFFER_FILLED 0x8000u       /* the caller's buffer was filled; more items were dropped */
#define QOR_CAN_MONITOR_DATA_LOST 0x8080u           /* items were lost before they were read */
#define QOR_CAN_MONITOR_LARGE_ITEMS_DROPPED 0x80u   /* large items: items after this one were dropped */

/* Start flags of Qor_Can_Monitor_BufferMode_Start2 (a buffer mode of _Start is the same flags): bits 0 to 2 go to the
 * firmware as option bits. Large items and CAN FD need parameter width 64. */
#define QOR_CAN_MONITOR_LARGE_ITEMS (1u << 3)
#define QOR_CAN_MONITOR_CAN_FD (1u << 4)
#define QOR_CAN_MONITOR_DIRECT_READING (1u << 5) /* the items stay in the firmware until read */
#define QOR_CAN_MONITOR_START_FLAGS 0x3Fu

/* Flag of Qor_Can_Monitor_BufferMode_GetItems_Large: more items wait. */
#define QOR_CAN_MONITOR_MORE_ITEMS 1u

/* Buffer-mode callback: on the core library's thread that delivers monitor data, with the items of one block. */
typedef void (*Qor_Can_Monitor_BufferMode_Callback_t)(uint32_t port, uint32_t itemCount,
                                                      const Qor_Can_Monitor_Item_t* items);
/* List-mode callback: on the port's callback thread, with one identifier's last frame; data holds dlc's bytes (at
 * most 8) when count and dlc are not 0. */
typedef void (*Qor_Can_Monitor_ListMode_Callback_t)(uint32_t port, uint32_t identifier, uint64_t timeStampNs,
                                                    uint32_t count, uint32_t flags, uint8_t dlc, const uint8_t* data);

/* Forgets the readers of every port's monitors. */
QOR_API uint32_t Qor_Can_Monitor_Init(void);
/* Filter modes 0 to 4; their meaning and values are the firmware's. */
QOR_API uint32_t Qor_Can_Monitor_DefineFilter(uint32_t port, uint8_t mode, uint32_t firstValue, uint32_t secondValue);

/* Buffer mode 0 to 7 (start flags 0 to 7); a buffer of bufferSize bytes (0: the smallest the port allows). */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize);
/* Start flags and room for itemCount items on the host (24-byte items, 80-byte slots with large items). */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_Start2(uint32_t port, uint32_t flags, uint32_t itemCount);
QOR_API uint32_t Qor_Can_Monitor_BufferMode_Stop(uint32_t port);
/* Up to bufferSize bytes of items into items: API items, or with direct reading of large items 80-byte slots, of
 * which *itemCount gives the room on entry. *itemCount: the items returned. */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* itemCount,
                                                     void* items);
/* Large items into *itemCount slots (the room on entry, the items returned on exit). */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_GetItems_Large(uint32_t port, uint32_t* flags, uint32_t* itemCount,
                                                           Can_Param_Monitor_Buffer64_LargeItem_t* slots);
/* Needs asynchronous communication (Qor_AsyncCommunication_Enable). */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_Async_Start(uint32_t port, uint8_t bufferMode,
                                                        Qor_Can_Monitor_BufferMode_Callback_t callback);
QOR_API uint32_t Qor_Can_Monitor_BufferMode_Async_Stop(uint32_t port);
/* The event is set when monitor data arrive. */
QOR_API uint32_t Qor_Can_Monitor_BufferMode_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_Can_Monitor_BufferMode_DisableEvent(uint32_t port);

QOR_API uint32_t Qor_Can_Monitor_ListMode_Start(uint32_t port);
QOR_API uint32_t Qor_Can_Monitor_ListMode_Stop(uint32_t port);
/* data: room for 8 bytes; flags: the message flags (bits 0 and 1). */
QOR_API uint32_t Qor_Can_Monitor_ListMode_GetItem(uint32_t port, uint32_t identifier, uint64_t* timeStampNs,
                                                  uint32_t* count, uint32_t* flags, uint8_t* dlc, uint8_t* data);
QOR_API uint32_t Qor_Can_Monitor_ListMode_GetItem_Async(uint32_t port, uint32_t identifier);
QOR_API uint32_t Qor_Can_Monitor_ListMode_GetItem_Async_AddCallback(uint32_t port,
                                                                    Qor_Can_Monitor_ListMode_Callback_t callback);
QOR_API uint32_t Qor_Can_Monitor_ListMode_GetItem_Async_RemoveCallback(uint32_t port);

/* A user event in the monitor's stream: the event byte and count (0 to 7) data bytes. */
QOR_API uint32_t Qor_Can_Monitor_WriteUserEvent(uint32_t port, uint8_t event, uint8_t count, const uint8_t* data);
/* The firmware's two monitor times in ns and its flag (bit 0); all 0 when the firmware does not answer. */
QOR_API uint32_t Qor_Can_Monitor_MonitorTime_Get(uint32_t port, uint32_t* flag, uint64_t* firstTimeNs,
                                                 uint64_t* secondTimeNs);

QOR_END_DECLS

#endif
