/* The K-Line monitor: the bytes that the interface observes on the line, kept by the library in a ring of the
 * port's monitor, as regular items (one byte each) or advanced items (a whole message each). When the ring is full
 * the oldest items give way; the newest item kept then carries QOR_KLINE_MONITOR_OVERFLOW. */
#ifndef QOR_KLINE_MONITOR_H
#define QOR_KLINE_MONITOR_H

#include "qor_types.h"
#include "qor_user_event.h"

QOR_BEGIN_DECLS

/* Item flags: bits 0 to 2 are the firmware's. */
#define QOR_KLINE_MONITOR_OVERFLOW 0x0008u /* items were lost before or after this one */

/* The ring's size when 0 is given, and the least sizes. */
#define QOR_KLINE_MONITOR_DEFAULT_RING 20000u
#define QOR_KLINE_MONITOR_MIN_RING_REGULAR 48u
#define QOR_KLINE_MONITOR_MIN_RING_ADVANCED 32u

#pragma pack(push, 4)
/* One byte on the line. */
typedef struct Qor_KLine_Monitor_RegularItem_t {
  uint64_t timeStamp; /* +0: ns */
  uint16_t flags;     /* +8 */
  uint8_t data;       /* +10 */
  uint8_t reserved;   /* +11: 0 */
} Qor_KLine_Monitor_RegularItem_t;

/* The head of an advanced item; dataLength bytes follow it, then zeros up to itemSize. */
typedef struct Qor_KLine_Monitor_AdvancedItem_t {
  uint32_t itemSize;   /* +0: 16 + dataLength rounded up to a multiple of 4 */
  uint16_t flags;      /* +4 */
  uint16_t dataLength; /* +6 */
  uint64_t timeStamp;  /* +8: ns */
} Qor_KLine_Monitor_AdvancedItem_t;
#pragma pack(pop)
QOR_STATIC_ASSERT(sizeof(Qor_KLine_Monitor_RegularItem_t) == 12, "Qor_KLine_Monitor_RegularItem_t is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_Monitor_RegularItem_t, data) == 10, "data at 10");
QOR_STATIC_ASSERT(sizeof(Qor_KLine_Monitor_AdvancedItem_t) == 16, "Qor_KLine_Monitor_AdvancedItem_t is 16 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_KLine_Monitor_AdvancedItem_t, timeStamp) == 8, "time stamp at 8");

/* Configures the port's monitor with a ring of ringSize bytes (0: the default). A configured monitor gives
 * "monitor already configurated"; Config_Off ends it. */
QOR_API uint32_t Qor_KLine_Monitor_Config_Regular(uint32_t port, uint32_t flags, uint32_t ringSize);
/* flags bit 0 sends valueA, bit 1 valueB, bit 2 a further option of the firmware. */
QOR_API uint32_t Qor_KLine_Monitor_Config_Advanced(uint32_t port, uint32_t flags, uint8_t valueA, uint32_t valueB,
                                                   uint32_t ringSize);
QOR_API uint32_t Qor_KLine_Monitor_Start(uint32_t port);
/* 0 without a command when the monitor is not configured or not started. */
QOR_API uint32_t Qor_KLine_Monitor_Stop(uint32_t port);
/* Stops and closes the monitor, dropping its ring; the first failure is returned, the monitor is closed anyway. */
QOR_API uint32_t Qor_KLine_Monitor_Config_Off(uint32_t port);
QOR_API uint32_t Qor_KLine_Monitor_EnableEvent(uint32_t port, ExternalEvent* event);
QOR_API uint32_t Qor_KLine_Monitor_DisableEvent(uint32_t port);
/* *count: room in items in, items delivered out, oldest first. "response buffer too small" ("not all monitor items
 * could be read") while items remain. */
QOR_API uint32_t Qor_KLine_Monitor_GetItems_Regular(uint32_t port, uint32_t* count,
                                                    Qor_KLine_Monitor_RegularItem_t* items);
/* *size: the buffer's bytes in, bytes used out; the items lie one after the other, each itemSize bytes long. */
QOR_API uint32_t Qor_KLine_Monitor_GetItems_Advanced(uint32_t port, uint32_t* size, void* buffer);

QOR_END_DECLS

#endif
