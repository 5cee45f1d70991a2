/* The LIN monitor: the traffic that the interface observes on the bus, as items of three kinds (small, normal,
 * advanced). Buffer mode collects the items in the port's monitor buffer for the application to read; asynchronous
 * buffer mode hands them to an application callback; list mode keeps the latest item of each frame id in the
 * firmware, read one frame id at a time. Times in items are in ns: the time stamp counts from the firmware's clock
 * (a u64), the other times are u32 (saturated at 0xFFFFFFFF). A frame's data length is at most 8: only the first
 * dataLength data bytes and byte times of an item are written. */
#ifndef QOR_LIN_MONITOR_H
#define QOR_LIN_MONITOR_H

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* The last item of a read marks lost items: its frameId field holds the frame id OR-ed with this. */
#define QOR_LIN_MONITOR_OVERFLOW_MARK 0x8080u
#define QOR_LIN_MONITOR_BYTE_TIMES 9u

/* Buffer items. */
typedef struct Qor_Lin_Monitor_SmallItem_t {
  uint32_t frameId;     /* +0: with QOR_LIN_MONITOR_OVERFLOW_MARK when items were lost */
  uint8_t dataLength;   /* +4: at most 8 */
  uint8_t state;        /* +5: the firmware's state byte */
  uint8_t reserved6;    /* +6: 0 */
  uint8_t data[8];      /* +7 */
  uint8_t reserved15;   /* +15 */
  uint64_t timeStamp;   /* +16: ns */
  uint32_t time1;       /* +24: ns */
} __attribute__((packed, aligned(4))) Qor_Lin_Monitor_SmallItem_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Monitor_SmallItem_t) == 28, "Qor_Lin_Monitor_SmallItem_t is 28 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_SmallItem_t, timeStamp) == 16, "time stamp at 16");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_SmallItem_t, time1) == 24, "time1 at 24");

typedef struct Qor_Lin_Monitor_NormalItem_t {
  Qor_Lin_Monitor_SmallItem_t head;                  /* +0 */
  uint32_t time2to4[3];                              /* +28: ns */
  uint32_t byteTimesA[QOR_LIN_MONITOR_BYTE_TIMES];   /* +40: ns */
} __attribute__((packed, aligned(4))) Qor_Lin_Monitor_NormalItem_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Monitor_NormalItem_t) == 76, "Qor_Lin_Monitor_NormalItem_t is 76 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_NormalItem_t, byteTimesA) == 40, "byte times A at 40");

typedef struct Qor_Lin_Monitor_AdvancedItem_t {
  Qor_Lin_Monitor_NormalItem_t normal;               /* +0 */
  uint32_t byteTimesB[QOR_LIN_MONITOR_BYTE_TIMES];   /* +76: ns */
  uint32_t byteTimesC[QOR_LIN_MONITOR_BYTE_TIMES];   /* +112: ns */
} __attribute__((packed, aligned(4))) Qor_Lin_Monitor_AdvancedItem_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Monitor_AdvancedItem_t) == 148, "Qor_Lin_Monitor_AdvancedItem_t is 148 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_AdvancedItem_t, byteTimesC) == 112, "byte times C at 112");

/* List items: the latest item of one frame id. With entryPresent 0 only entryPresent, value8 and frameId are set. */
typedef struct Qor_Lin_Monitor_ListSmallItem_t {
  uint32_t entryPresent;  /* +0: 0 when the firmware holds no item for the frame id */
  uint32_t value8;        /* +4 */
  uint8_t frameId;        /* +8 */
  uint8_t value10;        /* +9 */
  uint8_t dataLength;     /* +10: at most 8 */
  uint8_t data[8];        /* +11 */
  uint8_t reserved19;     /* +19 */
  uint64_t timeStamp;     /* +20: ns */
  uint32_t time1;         /* +28: ns */
} __attribute__((packed, aligned(4))) Qor_Lin_Monitor_ListSmallItem_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Monitor_ListSmallItem_t) == 32, "Qor_Lin_Monitor_ListSmallItem_t is 32 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_ListSmallItem_t, timeStamp) == 20, "time stamp at 20");

typedef struct Qor_Lin_Monitor_ListNormalItem_t {
  Qor_Lin_Monitor_ListSmallItem_t head;             /* +0 */
  uint32_t time2to4[3];                             /* +32: ns */
  uint32_t byteTimes[QOR_LIN_MONITOR_BYTE_TIMES];   /* +44: ns */
} __attribute__((packed, aligned(4))) Qor_Lin_Monitor_ListNormalItem_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_Monitor_ListNormalItem_t) == 80, "Qor_Lin_Monitor_ListNormalItem_t is 80 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_Monitor_ListNormalItem_t, byteTimes) == 44, "byte times at 44");

/* Asynchronous buffer mode: count items of the started kind, valid during the call. */
typedef void (*Qor_Lin_Monitor_ItemsCallback_t)(uint32_t port, uint32_t count, const void* items);
/* Asynchronous list mode: one list item of the kind asked for, valid during the call. */
typedef void (*Qor_Lin_Monitor_ListItemCallback_t)(uint32_t port, const void* item);

/* Buffer mode. Buffer sizes are in bytes of application items; buffer modes 0 to 7 are the firmware's. */
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Small_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Normal_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Start(uint32_t port, uint8_t bufferMode, uint32_t bufferSize);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Small_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Normal_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Stop(uint32_t port);
/* Whole items of at most bufferSize bytes; *count gets their number. */
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Small_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                           Qor_Lin_Monitor_SmallItem_t* items);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Normal_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                            Qor_Lin_Monitor_NormalItem_t* items);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Advanced_GetItems(uint32_t port, uint32_t bufferSize, uint32_t* count,
                                                              Qor_Lin_Monitor_AdvancedItem_t* items);

/* Asynchronous buffer mode; needs the port's asynchronous communication. */
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Small_Async_Start(uint32_t port, uint8_t bufferMode,
                                                              Qor_Lin_Monitor_ItemsCallback_t callback);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Normal_Async_Start(uint32_t port, uint8_t bufferMode,
                                                               Qor_Lin_Monitor_ItemsCallback_t callback);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Async_Start(uint32_t port, uint8_t bufferMode,
                                                                 Qor_Lin_Monitor_ItemsCallback_t callback);
/* The three stop alike; a failing list switch is returned and the monitor stays open. */
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Small_Async_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Normal_Async_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_Advanced_Async_Stop(uint32_t port);

QOR_API uint32_t Qor_Lin_Monitor_BufferMode_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_Lin_Monitor_BufferMode_DisableEvent(uint32_t port);

/* Filter modes 0 to 5 with their two values, as the firmware defines them. */
QOR_API uint32_t Qor_Lin_Monitor_DefineFilter(uint32_t port, uint8_t filterMode, uint8_t valueA, uint8_t valueB);

/* List mode. */
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_Start(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_Start(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_Stop(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem(uint32_t port, uint8_t frameId,
                                                        Qor_Lin_Monitor_ListSmallItem_t* item);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem(uint32_t port, uint8_t frameId,
                                                         Qor_Lin_Monitor_ListNormalItem_t* item);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async(uint32_t port, uint8_t frameId);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async(uint32_t port, uint8_t frameId);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async_AddCallback(uint32_t port,
                                                                          Qor_Lin_Monitor_ListItemCallback_t callback);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_AddCallback(uint32_t port,
                                                                           Qor_Lin_Monitor_ListItemCallback_t callback);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Small_GetItem_Async_RemoveCallback(uint32_t port);
QOR_API uint32_t Qor_Lin_Monitor_ListMode_Normal_GetItem_Async_RemoveCallback(uint32_t port);

QOR_END_DECLS

#endif
